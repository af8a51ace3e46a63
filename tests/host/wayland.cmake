# Tests of the Wayland saver and wallpaper: the installed program on a sway of
# the test's own (headless, as an unprivileged user), driven by real input
# devices and windows (velmora-wayland-test-client, wtype), run by swayidle, and
# on a compositor without the layer shell (weston). Included by
# tests/host/CMakeLists.txt on every target but Windows.
# Built with the Wayland host only (host/wayland.cmake), whose xdg-shell glue
# the test window uses.
if(NOT TARGET velmora_wayland_protocols)
  return()
endif()

# The virtual pointer's protocol is in no -dev package of its own; Debian
# ships the wlroots protocols inside its Rust wayland-protocols crate.
file(GLOB virtual_pointer_copies
     /usr/share/cargo/registry/wayland-protocols-*/wlr-protocols/unstable/wlr-virtual-pointer-unstable-v1.xml)
if(NOT virtual_pointer_copies)
  message(FATAL_ERROR "the Wayland tests need wlr-virtual-pointer-unstable-v1.xml "
                      "(Debian package librust-wayland-protocols-dev)")
endif()
list(SORT virtual_pointer_copies COMPARE NATURAL ORDER DESCENDING)
list(GET virtual_pointer_copies 0 virtual_pointer_xml)
set(generated_dir ${VELMORA_GENERATED_DIR}/tests)
add_custom_command(
  OUTPUT ${generated_dir}/wayland_virtual_pointer_protocol.h ${generated_dir}/wayland_virtual_pointer_protocol.c
  COMMAND ${CMAKE_COMMAND} -E make_directory ${generated_dir}
  COMMAND ${VELMORA_WAYLAND_SCANNER} client-header ${virtual_pointer_xml} ${generated_dir}/wayland_virtual_pointer_protocol.h
  COMMAND ${VELMORA_WAYLAND_SCANNER} private-code ${virtual_pointer_xml} ${generated_dir}/wayland_virtual_pointer_protocol.c
  DEPENDS ${virtual_pointer_xml}
  VERBATIM)

# A mouse and a window for the tests, as a person's would be.
add_executable(velmora_wayland_test_client ${CMAKE_SOURCE_DIR}/tests/support/wayland_test_client.cpp
               ${generated_dir}/wayland_virtual_pointer_protocol.h ${generated_dir}/wayland_virtual_pointer_protocol.c)
set_target_properties(velmora_wayland_test_client PROPERTIES OUTPUT_NAME velmora-wayland-test-client)
target_link_libraries(velmora_wayland_test_client PRIVATE velmora_wayland_protocols velmora_options)

# A sway of the test's own, the mouse and window above, and grim's pictures.
add_library(velmora_test_wayland STATIC ${CMAKE_SOURCE_DIR}/tests/support/wayland_private_compositor.cpp)
target_link_libraries(velmora_test_wayland PUBLIC velmora_test_installed_session velmora_test_picture velmora_options)
target_compile_definitions(velmora_test_wayland PRIVATE
                           VELMORA_WAYLAND_TEST_CLIENT="$<TARGET_FILE:velmora_wayland_test_client>")
add_dependencies(velmora_test_wayland velmora_wayland_test_client)

# The installed program, as on a person's desktop. Not under the sanitizers,
# whose programs swayidle would run without their options.
if(TARGET velmora AND NOT VELMORA_SANITIZE)
  velmora_test_suite(velmora_wayland_saver_tests
    SOURCES wayland_saver_test.cpp
    LIBRARIES velmora_test_wayland
    LABELS host display wayland
    DEPENDS velmora
    TIMEOUT 400)
  target_compile_definitions(velmora_wayland_saver_tests PRIVATE VELMORA_CMAKE="${CMAKE_COMMAND}"
                             VELMORA_BUILD_DIR="${CMAKE_BINARY_DIR}")
endif()
