# The Linux backend's tests: unit tests of its portable parts, and end-to-end
# tests of the real program on a virtual display (Xvfb) driven with xdotool.
# Included by tests/CMakeLists.txt.
add_executable(avendrel_x11_unit_tests ${CMAKE_CURRENT_LIST_DIR}/x11_units_test.cpp)
target_link_libraries(avendrel_x11_unit_tests PRIVATE avendrel_x11_units GTest::gtest_main)
gtest_discover_tests(avendrel_x11_unit_tests DISCOVERY_TIMEOUT 60)
