# End-to-end tests of the 64-bit Windows build under Wine on Xvfb. One Wine
# prefix is made per test run (fixture wine_prefix) and shared by the cases,
# which run one at a time, each on a screen of its own. A case is skipped
# (status 77) when the exe or Wine is missing.
set(AVENDREL_WINDOWS_X64_DIR ${CMAKE_SOURCE_DIR}/build/windows-x64 CACHE PATH
  "Build folder of the windows-x64 preset, which holds Avendrel.exe")
set(avendrel_wine_script ${CMAKE_CURRENT_LIST_DIR}/test_e2e.py)
set(avendrel_wine_state ${CMAKE_CURRENT_BINARY_DIR}/wine-prefix.path)

add_test(NAME wine.prefix COMMAND /usr/bin/python3 ${avendrel_wine_script} prepare ${avendrel_wine_state})
set_tests_properties(wine.prefix PROPERTIES FIXTURES_SETUP wine_prefix TIMEOUT 300
  SKIP_RETURN_CODE 77 RESOURCE_LOCK wine)
add_test(NAME wine.prefix.remove COMMAND /usr/bin/python3 ${avendrel_wine_script} remove ${avendrel_wine_state})
set_tests_properties(wine.prefix.remove PROPERTIES FIXTURES_CLEANUP wine_prefix TIMEOUT 60
  RESOURCE_LOCK wine)

foreach(case png_decoding screen cursor task_entry signup_no signup_yes box_ways_out home_page load close arguments
    presentation_refused accessible accessible_events planted_dlls shell_hand_over restore)
  add_test(NAME wine.${case}
    COMMAND /usr/bin/python3 ${avendrel_wine_script} run ${avendrel_wine_state}
            ${AVENDREL_WINDOWS_X64_DIR}/Avendrel.exe ${case})
  set_tests_properties(wine.${case} PROPERTIES FIXTURES_REQUIRED wine_prefix TIMEOUT 420
    SKIP_RETURN_CODE 77 RESOURCE_LOCK wine)
endforeach()

foreach(case shell_hand_over restore)
  if(TEST wine.${case})
    set_tests_properties(wine.${case} PROPERTIES LABELS "wine;e2e")
  endif()
endforeach()

# The shipped 32-bit Avendrel.exe in Wine's WoW64 mode (its 32-bit libraries
# come from tools/install-wine32.sh).
set(AVENDREL_WINDOWS_X86_DIR ${CMAKE_SOURCE_DIR}/build/windows-x86 CACHE PATH
  "Build folder of the windows-x86 preset, which holds the shipped Avendrel.exe")
add_test(NAME wine.wow64
  COMMAND /usr/bin/python3 ${avendrel_wine_script} run ${avendrel_wine_state}
          ${AVENDREL_WINDOWS_X86_DIR}/Avendrel.exe wow64)
set_tests_properties(wine.wow64 PROPERTIES FIXTURES_REQUIRED wine_prefix TIMEOUT 300
  SKIP_RETURN_CODE 77 RESOURCE_LOCK wine)
