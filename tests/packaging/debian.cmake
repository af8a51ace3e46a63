# The Debian package, made from this build by CPack and checked by
# debian_package_test.sh: the build step first, the others on its result.
velmora_package_steps(deb
  SCRIPT ${CMAKE_CURRENT_LIST_DIR}/debian_package_test.sh TIMEOUT 300
  ARGUMENTS ${CMAKE_BINARY_DIR} ${CMAKE_BINARY_DIR}/tests/packaging/debian
  STEPS build DebianPackage.IsMadeByCPackAndUnpacks
        lintian DebianPackage.HasNoLintianErrors
        files DebianPackage.PutsEveryFileWhereDebianAndXScreenSaverLook
        start DebianPackage.ProgramsStartFromTheUnpackedTree
        offscreen DebianPackage.SnapshotDrawsWhereOSMesaIsAbsent
        install DebianPackage.InstallsRunsOnTheRootWindowAndPurgesWithoutTrace)
