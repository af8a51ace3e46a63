# Tests of the X11 saver: its decisions natively, the program itself on a
# virtual display that each test process starts for itself. Included by
# tests/host/CMakeLists.txt where the X11 saver is built.
velmora_test_suite(velmora_saver_host_tests
  SOURCES saver_options_test.cpp close_rules_test.cpp frame_rate_test.cpp layer_shell_rules_test.cpp
  LIBRARIES velmora_saver_host
  LABELS host)
# The manual page and XScreenSaver's description are read from the sources.
target_compile_definitions(velmora_saver_host_tests PRIVATE VELMORA_SOURCE_DIR="${CMAKE_SOURCE_DIR}")

# The program itself. Each test starts velmora and drives it through a display
# of its own, so the tests run in parallel; `ctest -L display` selects them.
if(TARGET velmora)
  # velmora-test, the test build of the saver: the same objects with a scene
  # that can be told to fail (failing_scene.cpp) and a count of its GLX contexts
  # (x11_context_count.cpp, through the wrapped calls); never installed.
  add_executable(velmora_test failing_scene.cpp x11_context_count.cpp)
  set_target_properties(velmora_test PROPERTIES OUTPUT_NAME velmora-test)
  target_link_options(velmora_test PRIVATE
    -Wl,--wrap=glXCreateContext,--wrap=glXMakeCurrent,--wrap=glXDestroyContext)
  target_link_libraries(velmora_test PRIVATE velmora_x11_saver velmora_target_glx)

  velmora_test_suite(velmora_x11_saver_tests
    SOURCES x11_saver_fixture.cpp x11_saver_test.cpp x11_xscreensaver_test.cpp
    LIBRARIES velmora_test_x11 X11::Xtst
    LABELS host display
    DEPENDS velmora velmora_test)
  target_compile_definitions(velmora_x11_saver_tests PRIVATE VELMORA_BINARY="$<TARGET_FILE:velmora>"
                             VELMORA_TEST_BINARY="$<TARGET_FILE:velmora_test>")
endif()

# The installed hack driven by the real screen savers (XScreenSaver, MATE's,
# XScreenSaver over two monitors of a nested Xephyr): each test installs this
# build into a staging folder of its own (`cmake --install`) and runs the
# savers from there as an unprivileged user. Not under the sanitizers, whose
# programs the savers would run without their options.
if(TARGET velmora AND NOT VELMORA_SANITIZE)
  velmora_test_suite(velmora_x11_desktop_savers_tests
    SOURCES x11_desktop_savers_test.cpp
    LIBRARIES velmora_test_installed_session velmora_test_x11
    LABELS host display
    DEPENDS velmora
    TIMEOUT 400)
  target_compile_definitions(velmora_x11_desktop_savers_tests PRIVATE VELMORA_CMAKE="${CMAKE_COMMAND}"
                             VELMORA_BUILD_DIR="${CMAKE_BINARY_DIR}")
  # The command that adds the saver to a user's XScreenSaver list, by its
  # installed name; without it the tests write its entry by hand.
  if(TARGET velmora_add_to_xscreensaver)
    target_compile_definitions(velmora_x11_desktop_savers_tests PRIVATE
                               VELMORA_ADD_COMMAND="velmora-add-to-xscreensaver")
    add_dependencies(velmora_x11_desktop_savers_tests velmora_add_to_xscreensaver)
  endif()
endif()
