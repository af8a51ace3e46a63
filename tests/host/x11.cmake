# Tests of the X11 saver: its decisions natively, the program itself under the
# virtual display that the test set-up starts.
if(NOT WIN32)
  velmora_test_suite(x11_host_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/x11_options_test.cpp ${CMAKE_CURRENT_LIST_DIR}/x11_close_rules_test.cpp
    LIBRARIES velmora_x11_host
    LABELS host)
endif()
