# Robustness of the real Linux program on a virtual display: memory errors and
# leaks (valgrind memcheck, and the AddressSanitizer + UndefinedBehaviorSanitizer
# build), load through the real desktop path, faults of the desktop around it,
# what it touches (strace), and what it costs when idle. Every test prints its
# figures as "FIGURE name = value". Included by tests/CMakeLists.txt; registered
# in the plain build only (the sanitizer build is run from here, as a program).
# Tests labelled `slow` are left out of the default run (ctest -LE slow).
if(AVENDREL_SANITIZE)
  return()
endif()

set(AVENDREL_SANITIZE_DIR "${CMAKE_SOURCE_DIR}/build/linux-sanitize" CACHE PATH
  "Build folder of the linux-sanitize preset, whose program the robustness tests run")

# Runs LeakSanitizer's check when the sanitizer build ends through _exit.
add_library(avendrel_leak_check_at_exit MODULE ${CMAKE_CURRENT_LIST_DIR}/leak_check_at_exit.cpp)

set(AVENDREL_ROBUSTNESS_DIR ${CMAKE_CURRENT_LIST_DIR})

# name, labels, timeout, then the script and its arguments
function(avendrel_robustness_test name labels timeout)
  add_test(NAME robustness_${name} COMMAND /usr/bin/python3 ${ARGN})
  set_tests_properties(robustness_${name} PROPERTIES
    LABELS "robustness;${labels}" TIMEOUT ${timeout}
    WORKING_DIRECTORY ${AVENDREL_ROBUSTNESS_DIR}
    ENVIRONMENT PYTHONDONTWRITEBYTECODE=1)
endfunction()

foreach(scenario session close)
  avendrel_robustness_test(memcheck_${scenario} memory 300
    ${AVENDREL_ROBUSTNESS_DIR}/memory.py valgrind ${scenario} --within 240
      --program $<TARGET_FILE:Avendrel>
      --suppressions ${AVENDREL_ROBUSTNESS_DIR}/valgrind.supp)
  avendrel_robustness_test(sanitizers_${scenario} memory 180
    ${AVENDREL_ROBUSTNESS_DIR}/memory.py sanitizers ${scenario} --within 130
      --program ${AVENDREL_SANITIZE_DIR}/app/Avendrel
      --suppressions ${AVENDREL_ROBUSTNESS_DIR}/lsan.supp
      --exit-check $<TARGET_FILE:avendrel_leak_check_at_exit>)
endforeach()

avendrel_robustness_test(load load 240
  ${AVENDREL_ROBUSTNESS_DIR}/load.py --program $<TARGET_FILE:Avendrel> --clicks 200)
avendrel_robustness_test(faults faults 240
  ${AVENDREL_ROBUSTNESS_DIR}/faults.py --program $<TARGET_FILE:Avendrel>)
# The box left open for 20 s before each answer: out of the default run.
avendrel_robustness_test(faults_slow "faults;slow" 240
  ${AVENDREL_ROBUSTNESS_DIR}/faults.py --program $<TARGET_FILE:Avendrel> --slow)
avendrel_robustness_test(syscalls syscalls 180
  ${AVENDREL_ROBUSTNESS_DIR}/touch.py --program $<TARGET_FILE:Avendrel>)
avendrel_robustness_test(idle idle 180
  ${AVENDREL_ROBUSTNESS_DIR}/idle.py --program $<TARGET_FILE:Avendrel> --seconds 10)

# A hostile start and environment: closed standard files, a display's missing
# screen (also in the sanitizer build), a lost X server, no handler for
# addresses but xdg-open, no shared desktop data.
foreach(case standard_files display_names server_lost opener no_shared_data)
  avendrel_robustness_test(hostile_${case} hostile 240
    ${AVENDREL_ROBUSTNESS_DIR}/hostile.py ${case} --program $<TARGET_FILE:Avendrel>
      --sanitized-program ${AVENDREL_SANITIZE_DIR}/app/Avendrel
      --suppressions ${AVENDREL_ROBUSTNESS_DIR}/lsan.supp)
endforeach()
