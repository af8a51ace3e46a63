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
