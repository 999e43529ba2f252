# End-to-end tests of both Windows builds under Wine on Xvfb: every case runs
# for the 64-bit build (wine.x64.CASE: wine64 in a 64-bit prefix) and for the
# shipped 32-bit build (wine.x86.CASE: Debian's classic 32-bit Wine in a
# 32-bit prefix). Each build has one prefix per test run (fixtures
# wine_prefix_x64 and wine_prefix_x86) shared by its cases, which run one at a
# time, each on a screen of its own. A case is a function case_NAME in
# test_e2e.py and is listed below (a new one runs for both builds). Only the
# 32-bit cases on a machine that runs no 32-bit code are skipped (status 77,
# with the reason); a missing Wine, prefix or executable is a failure.
set(AVENDREL_WINDOWS_X64_DIR ${CMAKE_SOURCE_DIR}/build/windows-x64 CACHE PATH
  "Build folder of the windows-x64 preset, which holds Avendrel.exe")
set(AVENDREL_WINDOWS_X86_DIR ${CMAKE_SOURCE_DIR}/build/windows-x86 CACHE PATH
  "Build folder of the windows-x86 preset, which holds the shipped Avendrel.exe")
set(avendrel_wine_script ${CMAKE_CURRENT_LIST_DIR}/test_e2e.py)

set(avendrel_wine_cases png_decoding screen cursor task_entry signup_no signup_yes box_ways_out
  home_page load close arguments presentation_refused accessible accessible_events planted_dlls
  shell_hand_over restore)

# Every case function of the script is listed, so that none is left unrun.
file(STRINGS ${avendrel_wine_script} avendrel_wine_defined REGEX "^def case_[a-z0-9_]+\\(")
list(TRANSFORM avendrel_wine_defined REPLACE "^def case_([a-z0-9_]+)\\(.*" "\\1")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${avendrel_wine_script})
foreach(case IN LISTS avendrel_wine_defined)
  if(NOT case IN_LIST avendrel_wine_cases)
    message(FATAL_ERROR "tests/wine/tests.cmake: the Wine case ${case} is not listed")
  endif()
endforeach()

# The inner waits of a case (a start, an exit, the addresses: fifty opens on
# a busy machine took over 120 s) are each at most 240 s; making a prefix
# takes up to 240 s for wineboot and 60 s per step.
foreach(build x64 x86)
  if(build STREQUAL x64)
    set(winearch win64)
    set(exe ${AVENDREL_WINDOWS_X64_DIR}/Avendrel.exe)
    set(skip "")
  else()
    set(winearch win32)
    set(exe ${AVENDREL_WINDOWS_X86_DIR}/Avendrel.exe)
    # A machine whose kernel runs no 32-bit code, and nothing else.
    set(skip SKIP_RETURN_CODE 77)
  endif()
  set(state ${CMAKE_CURRENT_BINARY_DIR}/wine-prefix-${build}.json)
  set(labels "wine;e2e;${build}")

  add_test(NAME wine.${build}.prefix
    COMMAND /usr/bin/python3 ${avendrel_wine_script} prepare ${winearch} ${state})
  set_tests_properties(wine.${build}.prefix PROPERTIES FIXTURES_SETUP wine_prefix_${build}
    LABELS "${labels}" TIMEOUT 540 RESOURCE_LOCK wine ${skip})
  add_test(NAME wine.${build}.prefix.remove
    COMMAND /usr/bin/python3 ${avendrel_wine_script} remove ${state})
  set_tests_properties(wine.${build}.prefix.remove PROPERTIES FIXTURES_CLEANUP wine_prefix_${build}
    LABELS "${labels}" TIMEOUT 120 RESOURCE_LOCK wine)

  foreach(case IN LISTS avendrel_wine_cases)
    add_test(NAME wine.${build}.${case}
      COMMAND /usr/bin/python3 ${avendrel_wine_script} run ${state} ${exe} ${case})
    set_tests_properties(wine.${build}.${case} PROPERTIES FIXTURES_REQUIRED wine_prefix_${build}
      LABELS "${labels}" TIMEOUT 600 RESOURCE_LOCK wine ${skip})
  endforeach()
endforeach()

# The shipped 32-bit build also in the 64-bit prefix, as on a 64-bit Windows
# (WoW64): its system folder is SysWOW64, which the DLL search restriction
# must resolve to, and its box, shell and accessibility go through the 32-bit
# libraries of a 64-bit system. The cases where that differs run there too.
set(avendrel_wine_wow64_cases screen signup_no close accessible planted_dlls)
foreach(case IN LISTS avendrel_wine_wow64_cases)
  add_test(NAME wine.wow64.${case}
    COMMAND /usr/bin/python3 ${avendrel_wine_script} run
            ${CMAKE_CURRENT_BINARY_DIR}/wine-prefix-x64.json ${AVENDREL_WINDOWS_X86_DIR}/Avendrel.exe
            ${case})
  set_tests_properties(wine.wow64.${case} PROPERTIES FIXTURES_REQUIRED wine_prefix_x64
    LABELS "wine;e2e;x86;wow64" TIMEOUT 600 RESOURCE_LOCK wine SKIP_RETURN_CODE 77)
endforeach()
