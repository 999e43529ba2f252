# The Win32 backend and the shipped executable Avendrel.exe: a GUI-subsystem
# program with the Unicode entry point, linked statically so that it needs
# nothing but DLLs that every Windows has.
enable_language(RC)

add_library(avendrel_win32 STATIC
  win32_platform.cpp win32_platform.h win32_internal.h
  win32_window.cpp win32_image.cpp win32_shell.cpp win32_text.cpp win32_accessible.cpp)
target_link_libraries(avendrel_win32 PUBLIC avendrel_platform PRIVATE user32 gdi32 ole32 shell32 uuid)
# The W functions and wide resource names (IDC_HAND, RT_RCDATA) throughout.
target_compile_definitions(avendrel_win32 PRIVATE UNICODE _UNICODE)

add_executable(Avendrel WIN32 win32_main.cpp win32_resources.rc)
target_link_libraries(Avendrel PRIVATE avendrel_win32 avendrel_program)
target_compile_definitions(Avendrel PRIVATE UNICODE _UNICODE)
target_link_options(Avendrel PRIVATE -municode -static -static-libgcc -static-libstdc++ -s -Wl,--gc-sections)
# Output at the top of the build folder: build/windows-x86/Avendrel.exe.
set_target_properties(Avendrel PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})

# The resource script names its files relative to the source root
# (ui/Unit1.toml, resources/artwork.png) and, inside resources/avendrel.rc,
# relative to resources/. windres does not see these as dependencies itself.
set(AVENDREL_WIN32_RESOURCE_FILES
  ${CMAKE_SOURCE_DIR}/resources/avendrel.rc
  ${CMAKE_SOURCE_DIR}/resources/avendrel.ico
  ${CMAKE_SOURCE_DIR}/resources/avendrel.manifest
  ${CMAKE_SOURCE_DIR}/resources/artwork.png
  ${CMAKE_SOURCE_DIR}/ui/Unit1.toml)
set_source_files_properties(win32_resources.rc PROPERTIES
  INCLUDE_DIRECTORIES "${CMAKE_SOURCE_DIR};${CMAKE_SOURCE_DIR}/resources"
  OBJECT_DEPENDS "${AVENDREL_WIN32_RESOURCE_FILES}")

if(AVENDREL_TESTS)
  # Run under Wine by tests/wine: the backend's PNG decoding on fixtures.
  add_executable(avendrel_decode_check ${CMAKE_SOURCE_DIR}/tests/wine/decode_check.cpp)
  target_link_libraries(avendrel_decode_check PRIVATE avendrel_win32)
  target_link_options(avendrel_decode_check PRIVATE -static -static-libgcc -static-libstdc++)
  set_target_properties(avendrel_decode_check PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})

  # Run under Wine by tests/wine: an assistive-technology client of the window.
  add_executable(avendrel_accessible_client ${CMAKE_SOURCE_DIR}/tests/wine/accessible_client.cpp)
  target_link_libraries(avendrel_accessible_client PRIVATE oleacc oleaut32 ole32 user32 uuid)
  target_compile_definitions(avendrel_accessible_client PRIVATE UNICODE _UNICODE)
  target_link_options(avendrel_accessible_client PRIVATE -static -static-libgcc -static-libstdc++)
  set_target_properties(avendrel_accessible_client PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})

  # The program on a desktop that refuses its first picture.
  add_executable(avendrel_present_refused WIN32 ${CMAKE_SOURCE_DIR}/tests/wine/present_refused.cpp
    win32_resources.rc)
  target_link_libraries(avendrel_present_refused PRIVATE avendrel_win32 avendrel_program)
  target_compile_definitions(avendrel_present_refused PRIVATE UNICODE _UNICODE)
  target_link_options(avendrel_present_refused PRIVATE -municode -static -static-libgcc -static-libstdc++)
  set_target_properties(avendrel_present_refused PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
  # Run under Wine by tests/wine: lists the program's windows and posts input
  # to them, for a desktop that cannot put them on the screen (WoW64).
  add_executable(avendrel_window_driver ${CMAKE_SOURCE_DIR}/tests/wine/window_driver.cpp)
  target_compile_definitions(avendrel_window_driver PRIVATE UNICODE _UNICODE)
  target_link_options(avendrel_window_driver PRIVATE -static -static-libgcc -static-libstdc++)
  set_target_properties(avendrel_window_driver PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
endif()
