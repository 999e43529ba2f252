# The Win32 backend (the executable Avendrel.exe is built in app/).

add_library(avendrel_win32 STATIC
  win32_platform.cpp win32_platform.h win32_internal.h
  win32_window.cpp win32_image.cpp win32_shell.cpp win32_text.cpp win32_accessible.cpp
  win32_library.cpp win32_library.h)
# ole32, shell32, oleacc and oleaut32 are loaded from the system folder when
# first needed (win32_library.h); only their headers and the GUIDs of uuid
# are linked.
target_link_libraries(avendrel_win32 PUBLIC avendrel_platform PRIVATE user32 gdi32 uuid)
# The W functions and wide resource names (IDC_HAND, RT_RCDATA) throughout.
target_compile_definitions(avendrel_win32 PRIVATE UNICODE _UNICODE)

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

  # Run under Wine by tests/wine: a client that listens to the window's WinEvents.
  add_executable(avendrel_winevent_client ${CMAKE_SOURCE_DIR}/tests/wine/winevent_client.cpp)
  target_link_libraries(avendrel_winevent_client PRIVATE oleacc oleaut32 ole32 user32 uuid)
  target_compile_definitions(avendrel_winevent_client PRIVATE UNICODE _UNICODE)
  target_link_options(avendrel_winevent_client PRIVATE -static -static-libgcc -static-libstdc++ -municode)
  set_target_properties(avendrel_winevent_client PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})

  # Run under Wine by tests/wine: a DLL to plant beside a program under a
  # system DLL's name, and a program that loads DLLs with or without the
  # search restricted the way Avendrel.exe restricts it.
  add_library(avendrel_planted_dll MODULE ${CMAKE_SOURCE_DIR}/tests/wine/planted_dll.cpp)
  target_link_options(avendrel_planted_dll PRIVATE -static -static-libgcc)
  set_target_properties(avendrel_planted_dll PROPERTIES PREFIX "" LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
  add_executable(avendrel_dll_search_check ${CMAKE_SOURCE_DIR}/tests/wine/dll_search_check.cpp)
  target_link_libraries(avendrel_dll_search_check PRIVATE avendrel_win32)
  target_compile_definitions(avendrel_dll_search_check PRIVATE UNICODE _UNICODE)
  target_link_options(avendrel_dll_search_check PRIVATE -municode -static -static-libgcc -static-libstdc++)
  set_target_properties(avendrel_dll_search_check PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
  # Run under Wine by tests/wine: lists the program's windows, their state and
  # posts input and system commands to them, as another program may.
  add_executable(avendrel_window_driver ${CMAKE_SOURCE_DIR}/tests/wine/window_driver.cpp)
  target_compile_definitions(avendrel_window_driver PRIVATE UNICODE _UNICODE)
  target_link_options(avendrel_window_driver PRIVATE -static -static-libgcc -static-libstdc++)
  set_target_properties(avendrel_window_driver PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
endif()
