# The Linux desktop backend (X11, with GTK, GIO and ALSA loaded when first
# used); the executable is built in app/. Included by platform/CMakeLists.txt.
find_package(X11 REQUIRED COMPONENTS Xext Xrandr)
find_package(PkgConfig REQUIRED)
# Only the headers: these libraries are opened at run time when first needed.
pkg_check_modules(AVENDREL_GTK REQUIRED IMPORTED_TARGET gtk+-3.0)
pkg_check_modules(AVENDREL_ALSA REQUIRED IMPORTED_TARGET alsa)
pkg_check_modules(AVENDREL_ATK_BRIDGE REQUIRED IMPORTED_TARGET atk-bridge-2.0)
pkg_check_modules(AVENDREL_DBUS REQUIRED IMPORTED_TARGET dbus-1)

# The parts that need no display, unit-tested on their own.
add_library(avendrel_x11_units STATIC
  x11_shape.cpp x11_shape.h
  x11_pixels.cpp x11_pixels.h
  x11_icon.cpp x11_icon.h
  x11_double_click.cpp x11_double_click.h
  x11_xsettings.cpp x11_xsettings.h
  linux_executable_name.cpp linux_executable_name.h
  linux_accessibility_switch.cpp linux_accessibility_switch.h)
target_link_libraries(avendrel_x11_units PUBLIC avendrel_platform)

add_library(avendrel_x11 STATIC
  x11_platform.cpp x11_platform.h x11_internal.h x11_window.cpp x11_settings.cpp
  linux_message_box.cpp linux_message_box.h
  linux_open_address.cpp linux_open_address.h
  linux_tone.cpp linux_tone.h
  linux_accessible.cpp linux_accessible.h
  linux_library.h
  linux_standard_files.cpp linux_standard_files.h)
target_link_libraries(avendrel_x11
  PUBLIC avendrel_platform avendrel_x11_units
  PRIVATE avendrel_platform_embedded avendrel_resources X11::X11 X11::Xext X11::Xrandr ${CMAKE_DL_LIBS})
target_include_directories(avendrel_x11 SYSTEM PRIVATE
  ${AVENDREL_GTK_INCLUDE_DIRS} ${AVENDREL_ALSA_INCLUDE_DIRS} ${AVENDREL_ATK_BRIDGE_INCLUDE_DIRS}
  ${AVENDREL_DBUS_INCLUDE_DIRS})
target_compile_options(avendrel_x11 PRIVATE ${AVENDREL_GTK_CFLAGS_OTHER})
