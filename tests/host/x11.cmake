# Tests of the X11 saver: its decisions natively, the program itself on a
# virtual display that each test process starts for itself.
if(NOT WIN32)
  velmora_test_suite(x11_host_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/x11_options_test.cpp ${CMAKE_CURRENT_LIST_DIR}/x11_close_rules_test.cpp
            ${CMAKE_CURRENT_LIST_DIR}/x11_frame_rate_test.cpp
    LIBRARIES velmora_x11_host
    LABELS host)
endif()

# The program itself. Each test starts velmora and drives it through a display
# of its own, so the tests run in parallel; `ctest -L display` selects them.
if(NOT WIN32 AND TARGET velmora)
  find_package(X11 REQUIRED)
  if(NOT TARGET X11::Xtst)
    message(FATAL_ERROR "the X11 saver's tests need the XTEST library (Debian package libxtst-dev)")
  endif()
  find_package(OpenGL REQUIRED COMPONENTS OpenGL GLX)
  # The test build of the saver: the same program with a scene that can be told
  # to fail (failing_scene.cpp) and a count of its GLX contexts (x11_context_count.cpp,
  # through the wrapped calls); never installed.
  add_executable(velmora-test ${CMAKE_SOURCE_DIR}/host/x11_main.cpp ${CMAKE_SOURCE_DIR}/host/x11_saver.cpp
                 ${CMAKE_SOURCE_DIR}/host/x11_frame_rate_overlay.cpp ${CMAKE_CURRENT_LIST_DIR}/failing_scene.cpp ${CMAKE_CURRENT_LIST_DIR}/x11_context_count.cpp)
  target_link_options(velmora-test PRIVATE
    -Wl,--wrap=glXCreateContext,--wrap=glXMakeCurrent,--wrap=glXDestroyContext)
  target_link_libraries(velmora-test PRIVATE
    velmora_x11_host velmora_engine velmora_render velmora_target_glx velmora_scene velmora_kernel
    X11::X11 OpenGL::GLX OpenGL::OpenGL velmora_options)

  add_executable(x11_saver_tests ${CMAKE_CURRENT_LIST_DIR}/x11_saver_test.cpp
                 ${CMAKE_SOURCE_DIR}/tests/support/posix_child_process.cpp
                 ${CMAKE_SOURCE_DIR}/tests/support/x11_private_display.cpp)
  target_link_libraries(x11_saver_tests PRIVATE X11::X11 X11::Xtst GTest::gtest GTest::gtest_main velmora_options)
  target_include_directories(x11_saver_tests PRIVATE ${CMAKE_SOURCE_DIR})
  target_compile_definitions(x11_saver_tests PRIVATE VELMORA_BINARY="$<TARGET_FILE:velmora>"
                             VELMORA_TEST_BINARY="$<TARGET_FILE:velmora-test>")
  add_dependencies(x11_saver_tests velmora velmora-test)
  velmora_discover_tests(x11_saver_tests LABELS host display PROPERTIES TIMEOUT 300)
endif()

# A measured run, not a test: x11_measure starts a GL program with the swap
# counter preloaded and prints its frame rate, CPU use, memory and exit time.
if(NOT WIN32 AND TARGET velmora AND TARGET X11::Xtst)
  add_library(x11_swap_counter MODULE ${CMAKE_CURRENT_LIST_DIR}/x11_swap_counter.cpp)
  set_target_properties(x11_swap_counter PROPERTIES PREFIX "")
  target_link_libraries(x11_swap_counter PRIVATE velmora_options ${CMAKE_DL_LIBS})
  add_executable(x11_measure ${CMAKE_CURRENT_LIST_DIR}/x11_measure.cpp)
  target_link_libraries(x11_measure PRIVATE X11::X11 X11::Xtst velmora_options)
  target_compile_definitions(x11_measure PRIVATE
    VELMORA_SWAP_COUNTER_LIBRARY="$<TARGET_FILE:x11_swap_counter>")
  add_dependencies(x11_measure x11_swap_counter velmora)
endif()

# The installed hack driven by the real screen savers (XScreenSaver, MATE's,
# XScreenSaver over two monitors of a nested Xephyr): each test installs this
# build into a staging folder of its own (`cmake --install`) and runs the
# savers from there as an unprivileged user. Not under the sanitizers, whose
# programs the savers would run without their options.
if(NOT WIN32 AND TARGET velmora AND NOT VELMORA_SANITIZE)
  add_executable(x11_desktop_savers_tests ${CMAKE_CURRENT_LIST_DIR}/x11_desktop_savers_test.cpp
                 ${CMAKE_SOURCE_DIR}/tests/support/installed_user_session.cpp
                 ${CMAKE_SOURCE_DIR}/tests/support/posix_child_process.cpp
                 ${CMAKE_SOURCE_DIR}/tests/support/x11_capture.cpp
                 ${CMAKE_SOURCE_DIR}/tests/support/x11_private_display.cpp)
  target_link_libraries(x11_desktop_savers_tests PRIVATE X11::X11 GTest::gtest GTest::gtest_main velmora_options)
  target_include_directories(x11_desktop_savers_tests PRIVATE ${CMAKE_SOURCE_DIR})
  target_compile_definitions(x11_desktop_savers_tests PRIVATE VELMORA_CMAKE="${CMAKE_COMMAND}"
                             VELMORA_BUILD_DIR="${CMAKE_BINARY_DIR}")
  # The command that adds the saver to a user's XScreenSaver list, by its
  # installed name; without it the tests write its entry by hand.
  if(TARGET velmora-add-to-xscreensaver)
    target_compile_definitions(x11_desktop_savers_tests PRIVATE VELMORA_ADD_COMMAND="velmora-add-to-xscreensaver")
    add_dependencies(x11_desktop_savers_tests velmora-add-to-xscreensaver)
  endif()
  add_dependencies(x11_desktop_savers_tests velmora)
  velmora_discover_tests(x11_desktop_savers_tests LABELS host display PROPERTIES TIMEOUT 400)
endif()
