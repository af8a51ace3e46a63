# The setup program installed, run and removed under Wine (see
# windows_installer_test.sh); included by tests/packaging/CMakeLists.txt.
add_executable(velmora_windows_run_saver ${CMAKE_CURRENT_LIST_DIR}/windows_run_saver.cpp)
set_target_properties(velmora_windows_run_saver PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests/packaging)
target_link_libraries(velmora_windows_run_saver PRIVATE velmora_test_win32_saver velmora_options user32)
if(MINGW)
  target_link_options(velmora_windows_run_saver PRIVATE -municode)
endif()
# The test needs the setup program: building the tests builds it (through the
# packages' target, since the command that makes it belongs to the top folder).
add_custom_target(velmora_windows_installer_for_tests ALL)
add_dependencies(velmora_windows_installer_for_tests windows-packages)

add_test(NAME WindowsInstaller.InstallsRunsUpgradesAndUninstallsInAFreshPrefix
  COMMAND ${CMAKE_CURRENT_LIST_DIR}/windows_installer_test.sh ${VELMORA_SETUP} $<TARGET_FILE:velmora_scr>
          $<TARGET_FILE:velmora_windows_run_saver> ${PROJECT_VERSION} ${CMAKE_BINARY_DIR}/tests/packaging)
set_tests_properties(WindowsInstaller.InstallsRunsUpgradesAndUninstallsInAFreshPrefix PROPERTIES
  LABELS "package;wine;display" TIMEOUT 900)
