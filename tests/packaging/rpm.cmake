# The RPM package, made from this build by CPack and checked by
# rpm_package_test.sh: the build step first, the others on its result.
velmora_package_steps(rpm
  SCRIPT ${CMAKE_CURRENT_LIST_DIR}/rpm_package_test.sh TIMEOUT 600
  ARGUMENTS ${CMAKE_BINARY_DIR} ${CMAKE_BINARY_DIR}/tests/packaging/rpm ${CMAKE_SOURCE_DIR} ${PROJECT_VERSION}
  STEPS build RpmPackage.IsMadeByCPackAndUnpacks
        files RpmPackage.HoldsTheInstalledFilesInFedorasPlacesAndTheHacksEntry
        scripts RpmPackage.RebuildsXScreenSaversListAfterInstallAndRemoval
        rpmlint RpmPackage.HasNoRpmlintErrors
        start RpmPackage.ProgramsStartFromTheUnpackedPayload)
