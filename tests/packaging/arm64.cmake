# The arm64 Debian package, cross-built by arm64_package_test.sh with the
# arm64 preset in a folder of the test's own, its programs run under
# qemu-user against this build's: the build step first, the others on its
# result. The layout step compares with the Debian package of this build.
set(script ${CMAKE_CURRENT_LIST_DIR}/arm64_package_test.sh)
set(work ${CMAKE_BINARY_DIR}/tests/packaging/arm64)
set(steps
  build Arm64Package.IsCrossBuiltByCPackAndUnpacks
  lintian Arm64Package.HasNoLintianErrorsOrWarnings
  files Arm64Package.HasTheLayoutOfTheAmd64PackageAndArm64Dependencies
  scene Arm64Package.SimulatesTheSameSceneAsThisBuildForEveryGoldenSeed
  snapshot Arm64Package.SnapshotWritesAnOpaquePictureUnderQemu)
while(steps)
  list(POP_FRONT steps step name)
  add_test(NAME ${name}
           COMMAND ${script} ${step} ${CMAKE_SOURCE_DIR} ${work} $<TARGET_FILE:velmora_sim>
                   ${CMAKE_BINARY_DIR}/tests/packaging/debian/root)
  # The build compiles every program once more: up to a quarter of an hour on
  # a busy machine of two cores.
  set_tests_properties(${name} PROPERTIES LABELS package TIMEOUT 1800 SKIP_RETURN_CODE 77 RESOURCE_LOCK velmora_arm64)
  if(step STREQUAL "build")
    set_tests_properties(${name} PROPERTIES FIXTURES_SETUP velmora_arm64)
  else()
    set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED velmora_arm64)
  endif()
  if(step STREQUAL "files")
    set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED "velmora_arm64;velmora_deb")
  endif()
endwhile()
