# The Linux backend's tests: unit tests of its portable parts, and end-to-end
# tests of the real program on a virtual display (Xvfb) driven with xdotool.
# Included by tests/CMakeLists.txt.
add_executable(avendrel_x11_unit_tests ${CMAKE_CURRENT_LIST_DIR}/x11_units_test.cpp)
target_link_libraries(avendrel_x11_unit_tests PRIVATE avendrel_x11_units GTest::gtest_main)
# Labelled x11-unit, so that the sanitizer preset runs them too.
gtest_discover_tests(avendrel_x11_unit_tests DISCOVERY_TIMEOUT 60
  PROPERTIES LABELS x11-unit TIMEOUT 60)

find_package(X11 REQUIRED COMPONENTS Xfixes)
add_executable(x11_cursor_name ${CMAKE_CURRENT_LIST_DIR}/cursor_name.cpp)
target_link_libraries(x11_cursor_name PRIVATE X11::X11 X11::Xfixes)

# End-to-end cases, each on its own display.
set(AVENDREL_X11_CASES screen click_through home_page double_click_setting double_click_setting_followed
  sign_up_no
  sign_up_yes cursor close_request signals idle no_display error_box no_sound_device
  open_address task_name primary_monitor close_while_box_open no_toolkit
  screen_without_argb_visual screen_with_compositor screen_depth_15 screen_depth_16 screen_depth_30 screen_depth_8
  screen_direct_colour screen_static_grey
  cursor_without_theme release_while_box_open presentation_refused)
foreach(case ${AVENDREL_X11_CASES})
  add_test(NAME x11_e2e_${case}
    COMMAND /usr/bin/python3 ${CMAKE_CURRENT_LIST_DIR}/test_program.py ${case}
      --program $<TARGET_FILE:Avendrel> --artwork ${AVENDREL_ARTWORK}
      --cursor-tool $<TARGET_FILE:x11_cursor_name> --probe $<TARGET_FILE:x11_backend_probe>
      --fake-gtk $<TARGET_FILE:x11_fake_gtk> --refuse-pixmap $<TARGET_FILE:x11_refuse_pixmap>
      --output ${CMAKE_BINARY_DIR}/test-output)
  set_tests_properties(x11_e2e_${case} PROPERTIES TIMEOUT 120 LABELS "x11;e2e")
endforeach()

# The program read by an assistive-technology client over AT-SPI 2.
add_test(NAME x11_e2e_accessible
  COMMAND /usr/bin/python3 ${CMAKE_CURRENT_LIST_DIR}/test_accessible.py --program $<TARGET_FILE:Avendrel>)
set_tests_properties(x11_e2e_accessible PROPERTIES TIMEOUT 180 LABELS "x11;e2e"
  ENVIRONMENT PYTHONDONTWRITEBYTECODE=1)

add_executable(x11_backend_probe ${CMAKE_CURRENT_LIST_DIR}/backend_probe.cpp)
target_link_libraries(x11_backend_probe PRIVATE avendrel_x11 avendrel_resources)

# Preloaded to make the server refuse the window's pixmaps.
add_library(x11_refuse_pixmap MODULE ${CMAKE_CURRENT_LIST_DIR}/refuse_pixmap.cpp)
target_link_libraries(x11_refuse_pixmap PRIVATE X11::X11 ${CMAKE_DL_LIBS})

# A GTK library that has none of GTK's functions, to test a box without GTK.
add_library(x11_fake_gtk SHARED ${CMAKE_CURRENT_LIST_DIR}/fake_gtk.cpp)
set_target_properties(x11_fake_gtk PROPERTIES OUTPUT_NAME gtk-3 SOVERSION 0
  LIBRARY_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/fake-gtk)

# Addresses handed to a browser that the session bus starts on demand
# (dbus-run-session, a DBusActivatable desktop entry named in mimeapps.list).
foreach(case activated_sign_up_yes activated_home_page running_browser slow_browser)
  add_test(NAME x11_e2e_hand_over_${case}
    COMMAND /usr/bin/python3 ${CMAKE_CURRENT_LIST_DIR}/test_hand_over.py ${case}
      --program $<TARGET_FILE:Avendrel> --browser ${CMAKE_CURRENT_LIST_DIR}/dbus_browser.py)
  set_tests_properties(x11_e2e_hand_over_${case} PROPERTIES TIMEOUT 240 LABELS "x11;e2e"
    ENVIRONMENT PYTHONDONTWRITEBYTECODE=1)
endforeach()

# The click tone with a sound device that never answers.
add_test(NAME x11_e2e_tone_device_not_answering
  COMMAND /usr/bin/python3 ${CMAKE_CURRENT_LIST_DIR}/test_tone_device.py --program $<TARGET_FILE:Avendrel>)
set_tests_properties(x11_e2e_tone_device_not_answering PROPERTIES TIMEOUT 120 LABELS "x11;e2e"
  ENVIRONMENT PYTHONDONTWRITEBYTECODE=1)

# The program read over AT-SPI 2 in a Wayland session (no root-window
# announcement), without a session bus of its own (only the root window's),
# switched on after it started, and idle with accessibility off and on; each case runs on its own session bus (dbus-run-session).
foreach(case wayland no_session_bus switched_on_later idle)
  add_test(NAME x11_e2e_accessible_${case}
    COMMAND /usr/bin/python3 ${CMAKE_CURRENT_LIST_DIR}/test_accessible.py --case ${case}
      --program $<TARGET_FILE:Avendrel>)
  set_tests_properties(x11_e2e_accessible_${case} PROPERTIES TIMEOUT 180 LABELS "x11;e2e"
    ENVIRONMENT PYTHONDONTWRITEBYTECODE=1)
endforeach()
