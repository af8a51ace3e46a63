# The RPM package, made from this build by CPack and checked by
# rpm_package_test.sh: the build step first, the others on its result.
set(script ${CMAKE_CURRENT_LIST_DIR}/rpm_package_test.sh)
set(work ${CMAKE_BINARY_DIR}/tests/packaging/rpm)
set(steps
  build RpmPackage.IsMadeByCPackAndUnpacks
  files RpmPackage.HoldsTheInstalledFilesInFedorasPlacesAndTheHacksEntry
  scripts RpmPackage.RebuildsXScreenSaversListAfterInstallAndRemoval
  rpmlint RpmPackage.HasNoRpmlintErrors
  start RpmPackage.ProgramsStartFromTheUnpackedPayload)
while(steps)
  list(POP_FRONT steps step name)
  add_test(NAME ${name} COMMAND ${script} ${step} ${CMAKE_BINARY_DIR} ${work} ${CMAKE_SOURCE_DIR} ${PROJECT_VERSION})
  set_tests_properties(${name} PROPERTIES LABELS package TIMEOUT 600 SKIP_RETURN_CODE 77 RESOURCE_LOCK velmora_rpm)
  if(step STREQUAL "build")
    set_tests_properties(${name} PROPERTIES FIXTURES_SETUP velmora_rpm)
  else()
    set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED velmora_rpm)
  endif()
endwhile()
