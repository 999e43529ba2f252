# What makes a release trustworthy: the same bytes from every build, and the
# hardening of the native program read back with readelf (the Windows
# executables' defences are read by tests/windows/inspect_exe.py). Included by
# tests/CMakeLists.txt.
add_test(NAME release.reproducible
  COMMAND /usr/bin/python3 ${CMAKE_CURRENT_LIST_DIR}/reproducible.py)
# Two builds of the 32-bit exe and of the native program from scratch.
set_tests_properties(release.reproducible PROPERTIES LABELS release TIMEOUT 3600)

if(NOT AVENDREL_SANITIZE)
  add_test(NAME release.hardening_native
    COMMAND /usr/bin/python3 ${CMAKE_CURRENT_LIST_DIR}/check_elf_hardening.py $<TARGET_FILE:Avendrel>)
  set_tests_properties(release.hardening_native PROPERTIES LABELS release TIMEOUT 60)
endif()
