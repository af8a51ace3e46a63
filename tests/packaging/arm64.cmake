# The arm64 Debian package, cross-built by arm64_package_test.sh with the
# arm64 preset in a folder of the test's own, its programs run under
# qemu-user against this build's: the build step first, the others on its
# result. The build compiles every program once more: up to a quarter of an
# hour on a busy machine of two cores.
velmora_package_steps(arm64
  SCRIPT ${CMAKE_CURRENT_LIST_DIR}/arm64_package_test.sh TIMEOUT 1800
  ARGUMENTS ${CMAKE_SOURCE_DIR} ${CMAKE_BINARY_DIR}/tests/packaging/arm64 $<TARGET_FILE:velmora_sim>
            ${CMAKE_BINARY_DIR}/tests/packaging/debian/root
  STEPS build Arm64Package.IsCrossBuiltByCPackAndUnpacks
        lintian Arm64Package.HasNoLintianErrorsOrWarnings
        files Arm64Package.HasTheLayoutOfTheAmd64PackageAndArm64Dependencies
        scene Arm64Package.SimulatesTheSameSceneAsThisBuildForEveryGoldenSeed
        snapshot Arm64Package.SnapshotWritesAnOpaquePictureUnderQemu)
# The layout step compares with the Debian package of this build.
set_tests_properties(Arm64Package.HasTheLayoutOfTheAmd64PackageAndArm64Dependencies PROPERTIES
                     FIXTURES_REQUIRED "velmora_arm64;velmora_deb")
