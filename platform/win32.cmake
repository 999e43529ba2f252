# The Win32 backend (the executable Avendrel.exe is built in app/).

add_library(avendrel_win32 STATIC
  win32_platform.cpp win32_platform.h win32_internal.h
  win32_window.cpp win32_image.cpp win32_shell.cpp win32_text.cpp)
target_link_libraries(avendrel_win32 PUBLIC avendrel_platform PRIVATE user32 gdi32 ole32 shell32 uuid)
# The W functions and wide resource names (IDC_HAND, RT_RCDATA) throughout.
target_compile_definitions(avendrel_win32 PRIVATE UNICODE _UNICODE)

if(AVENDREL_TESTS)
  # Run under Wine by tests/wine: the backend's PNG decoding on fixtures.
  add_executable(avendrel_decode_check ${CMAKE_SOURCE_DIR}/tests/wine/decode_check.cpp)
  target_link_libraries(avendrel_decode_check PRIVATE avendrel_win32)
  target_link_options(avendrel_decode_check PRIVATE -static -static-libgcc -static-libstdc++)
  set_target_properties(avendrel_decode_check PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
endif()
