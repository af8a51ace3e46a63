# Tests of the Wayland saver and wallpaper: the installed program on a sway of
# the test's own (headless, as an unprivileged user), driven by real input
# devices and windows (velmora-wayland-test-client, wtype), run by swayidle, and
# on a compositor without the layer shell (weston). Included by
# tests/host/CMakeLists.txt on every target but Windows.
find_package(PkgConfig REQUIRED)
pkg_check_modules(VELMORA_TEST_WAYLAND REQUIRED IMPORTED_TARGET wayland-client wayland-protocols)
pkg_get_variable(VELMORA_TEST_WAYLAND_PROTOCOLS wayland-protocols pkgdatadir)
find_program(VELMORA_TEST_WAYLAND_SCANNER wayland-scanner REQUIRED)
# The wlroots protocols are in no -dev package of their own; Debian ships them
# inside its Rust wayland-protocols crate.
find_file(VELMORA_TEST_VIRTUAL_POINTER_XML wlr-virtual-pointer-unstable-v1.xml
          PATHS /usr/share/cargo/registry PATH_SUFFIXES wayland-protocols-0.29.4/wlr-protocols/unstable
          NO_DEFAULT_PATH)
if(NOT VELMORA_TEST_VIRTUAL_POINTER_XML)
  file(GLOB_RECURSE VELMORA_TEST_VIRTUAL_POINTER_XML
       /usr/share/cargo/registry/wayland-protocols-*/wlr-virtual-pointer-unstable-v1.xml)
  list(GET VELMORA_TEST_VIRTUAL_POINTER_XML 0 VELMORA_TEST_VIRTUAL_POINTER_XML)
endif()
if(NOT VELMORA_TEST_VIRTUAL_POINTER_XML)
  message(FATAL_ERROR "the Wayland tests need wlr-virtual-pointer-unstable-v1.xml "
                      "(Debian package librust-wayland-protocols-dev)")
endif()

# Each protocol's client header and code from wayland-scanner. The code is C;
# it is compiled here as C++, after its header, so that the interfaces it
# defines keep the C linkage the header declares for them (the header declares
# them without the hidden visibility the code asks for, which C++ then ignores).
set(protocol_dir ${VELMORA_GENERATED_DIR}/wayland-test)
set(protocol_sources)
foreach(xml ${VELMORA_TEST_VIRTUAL_POINTER_XML} ${VELMORA_TEST_WAYLAND_PROTOCOLS}/stable/xdg-shell/xdg-shell.xml)
  get_filename_component(protocol ${xml} NAME_WE)
  add_custom_command(OUTPUT ${protocol_dir}/${protocol}-client-protocol.h ${protocol_dir}/${protocol}-protocol.c
    COMMAND ${CMAKE_COMMAND} -E make_directory ${protocol_dir}
    COMMAND ${VELMORA_TEST_WAYLAND_SCANNER} client-header ${xml} ${protocol_dir}/${protocol}-client-protocol.h
    COMMAND ${VELMORA_TEST_WAYLAND_SCANNER} private-code ${xml} ${protocol_dir}/${protocol}-protocol.c
    DEPENDS ${xml} VERBATIM)
  file(WRITE ${protocol_dir}/${protocol}-protocol.cpp.in
       "#include \"${protocol}-client-protocol.h\"\n#include \"${protocol}-protocol.c\"\n")
  configure_file(${protocol_dir}/${protocol}-protocol.cpp.in ${protocol_dir}/${protocol}-protocol.cpp COPYONLY)
  set_source_files_properties(${protocol_dir}/${protocol}-protocol.cpp PROPERTIES
    OBJECT_DEPENDS "${protocol_dir}/${protocol}-client-protocol.h;${protocol_dir}/${protocol}-protocol.c"
    COMPILE_OPTIONS -Wno-attributes)
  list(APPEND protocol_sources ${protocol_dir}/${protocol}-protocol.cpp ${protocol_dir}/${protocol}-client-protocol.h)
endforeach()

# A mouse and a window for the tests, as a person's would be.
add_executable(velmora_wayland_test_client ${CMAKE_SOURCE_DIR}/tests/support/wayland_test_client.cpp ${protocol_sources})
set_target_properties(velmora_wayland_test_client PROPERTIES OUTPUT_NAME velmora-wayland-test-client)
target_include_directories(velmora_wayland_test_client PRIVATE ${protocol_dir})
target_link_libraries(velmora_wayland_test_client PRIVATE PkgConfig::VELMORA_TEST_WAYLAND velmora_options)

# A sway of the test's own, the mouse and window above, and grim's pictures.
add_library(velmora_test_wayland STATIC ${CMAKE_SOURCE_DIR}/tests/support/wayland_private_compositor.cpp)
target_link_libraries(velmora_test_wayland PUBLIC velmora_test_installed_session velmora_test_picture velmora_options)
target_compile_definitions(velmora_test_wayland PRIVATE
                           VELMORA_WAYLAND_TEST_CLIENT="$<TARGET_FILE:velmora_wayland_test_client>")
add_dependencies(velmora_test_wayland velmora_wayland_test_client)

# The installed program, as on a person's desktop. Not under the sanitizers,
# whose programs swayidle would run without their options.
if(TARGET velmora AND NOT VELMORA_SANITIZE)
  add_executable(velmora_wayland_saver_tests wayland_saver_test.cpp)
  target_link_libraries(velmora_wayland_saver_tests PRIVATE velmora_test_wayland GTest::gtest GTest::gtest_main
                        velmora_options)
  target_compile_definitions(velmora_wayland_saver_tests PRIVATE VELMORA_CMAKE="${CMAKE_COMMAND}"
                             VELMORA_BUILD_DIR="${CMAKE_BINARY_DIR}")
  add_dependencies(velmora_wayland_saver_tests velmora)
  velmora_discover_tests(velmora_wayland_saver_tests LABELS host display wayland PROPERTIES TIMEOUT 400)
endif()
