# GoogleTest for both targets, and the Wine runner for the Windows one.
include(GoogleTest)

if(CMAKE_CROSSCOMPILING)
  # Debian ships GoogleTest's sources; built here with the cross compiler.
  set(VELMORA_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources")
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  add_subdirectory(${VELMORA_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
else()
  find_package(GTest REQUIRED)
endif()

if(CMAKE_CROSSCOMPILING AND WIN32)
  # Every Windows test runs under Wine in a prefix of this build folder's own,
  # created on first use, so that nobody's ~/.wine is touched.
  set(VELMORA_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
  configure_file(${CMAKE_SOURCE_DIR}/cmake/wine-run.in ${CMAKE_BINARY_DIR}/wine-run @ONLY
                 FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                  WORLD_READ WORLD_EXECUTE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run)
endif()

# The guard of the machine (tests/support/machine_state.sh): every test
# requires the fixture whose first test notes the modes and owners of the
# system's folders and whose last fails the run when any changed, so that even
# a run of a few tests (ctest -R) is guarded. The discovered tests get it by
# their properties; the tests a folder adds with add_test, at the end of the
# folder, which velmora_guard_folder() arranges. A folder with tests that
# lacks it stops the configuration.
set(VELMORA_MACHINE_GUARD velmora_machine)
function(velmora_guard_folder)
  get_property(guarded DIRECTORY PROPERTY VELMORA_GUARDED)
  if(NOT guarded)
    set_property(DIRECTORY PROPERTY VELMORA_GUARDED ON)
    cmake_language(DEFER CALL velmora_guard_folder_tests)
  endif()
endfunction()
function(velmora_guard_folder_tests)
  get_property(tests DIRECTORY PROPERTY TESTS)
  if(tests)
    set_property(TEST ${tests} APPEND PROPERTY FIXTURES_REQUIRED ${VELMORA_MACHINE_GUARD})
  endif()
endfunction()
function(velmora_check_guarded folder)
  get_property(tests DIRECTORY ${folder} PROPERTY TESTS)
  get_property(guarded DIRECTORY ${folder} PROPERTY VELMORA_GUARDED)
  list(FILTER tests EXCLUDE REGEX "^MachineState\\.")
  if(tests AND NOT guarded)
    message(FATAL_ERROR "${folder} adds tests (${tests}) without velmora_guard_folder()")
  endif()
  get_property(folders DIRECTORY ${folder} PROPERTY SUBDIRECTORIES)
  foreach(inner IN LISTS folders)
    velmora_check_guarded(${inner})
  endforeach()
endfunction()
cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL velmora_check_guarded ${CMAKE_SOURCE_DIR})

# Every test executable: velmora_test_suite(NAME SOURCES file... [LIBRARIES
# target...] LABELS label... [DEPENDS target...] [TIMEOUT seconds, 300]
# [DISCOVERY_TIMEOUT seconds, 120] [PROPERTIES name value...]
# [TARGET_PROPERTIES name value...]). It links GoogleTest, and each of its
# test cases becomes a CTest test, found when CTest starts. DEPENDS names
# programs that the tests run, built first; PROPERTIES are the tests',
# TARGET_PROPERTIES the executable's, set before the discovery, which reads
# CROSSCOMPILING_EMULATOR then.
#
# gtest_discover_tests writes its PROPERTIES into the generated script as one
# flat list, so a list value (two labels) would take the properties after it
# as more labels and lose them. The labels are therefore set by a script of
# their own that CTest reads after the discovered tests.
function(velmora_test_suite name)
  cmake_parse_arguments(ARG "" "TIMEOUT;DISCOVERY_TIMEOUT" "SOURCES;LIBRARIES;LABELS;DEPENDS;PROPERTIES;TARGET_PROPERTIES"
                        ${ARGN})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  if(NOT ARG_DISCOVERY_TIMEOUT)
    set(ARG_DISCOVERY_TIMEOUT 120)
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBRARIES} GTest::gtest GTest::gtest_main velmora_options)
  if(ARG_DEPENDS)
    add_dependencies(${name} ${ARG_DEPENDS})
  endif()
  if(ARG_TARGET_PROPERTIES)
    set_target_properties(${name} PROPERTIES ${ARG_TARGET_PROPERTIES})
  endif()
  list(APPEND ARG_PROPERTIES FIXTURES_REQUIRED ${VELMORA_MACHINE_GUARD})
  velmora_guard_folder()
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT ${ARG_DISCOVERY_TIMEOUT}
    TEST_LIST ${name}_TESTS
    PROPERTIES TIMEOUT ${ARG_TIMEOUT} ${ARG_PROPERTIES})
  if(ARG_LABELS)
    set(script ${CMAKE_CURRENT_BINARY_DIR}/${name}_labels.cmake)
    file(WRITE ${script} "foreach(test IN LISTS ${name}_TESTS)\n"
                         "  set_tests_properties(\"\${test}\" PROPERTIES LABELS \"${ARG_LABELS}\")\n"
                         "endforeach()\n")
    set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${script})
  endif()
endfunction()
