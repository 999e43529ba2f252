# Inspection of the Windows executables (headers, imports, resources) with
# pefile, without running them: the shipped 32-bit exe, and the 64-bit one
# that the Wine tests run. An exe that has not been built is a failure.
set(AVENDREL_WINDOWS_X86_DIR ${CMAKE_SOURCE_DIR}/build/windows-x86 CACHE PATH
  "Build folder of the windows-x86 preset, which holds the shipped Avendrel.exe")
set(AVENDREL_WINDOWS_X64_DIR ${CMAKE_SOURCE_DIR}/build/windows-x64 CACHE PATH
  "Build folder of the windows-x64 preset, which holds Avendrel.exe")

add_test(NAME windows.inspect_x86
  COMMAND /usr/bin/python3 ${CMAKE_CURRENT_LIST_DIR}/inspect_exe.py
          ${AVENDREL_WINDOWS_X86_DIR}/Avendrel.exe i386)
add_test(NAME windows.inspect_x64
  COMMAND /usr/bin/python3 ${CMAKE_CURRENT_LIST_DIR}/inspect_exe.py
          ${AVENDREL_WINDOWS_X64_DIR}/Avendrel.exe amd64)
set_tests_properties(windows.inspect_x86 windows.inspect_x64 PROPERTIES LABELS "windows;inspect" TIMEOUT 60)
