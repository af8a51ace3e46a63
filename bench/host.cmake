# The hosts' measured runs (bench/host/measured-run): programs that start a
# saver, sample it and print figures. Not tests, and not in the benchmark loop.
if(NOT WIN32 AND TARGET velmora)
  # x11_measure runs a GL program with x11_swap_counter.so preloaded, which notes
  # each buffer swap.
  add_library(velmora_x11_swap_counter MODULE host/x11_swap_counter.cpp)
  set_target_properties(velmora_x11_swap_counter PROPERTIES PREFIX "" OUTPUT_NAME x11_swap_counter
                        LIBRARY_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/host)
  target_link_libraries(velmora_x11_swap_counter PRIVATE velmora_options ${CMAKE_DL_LIBS})
  add_executable(velmora_x11_measure host/x11_measure.cpp)
  set_target_properties(velmora_x11_measure PROPERTIES OUTPUT_NAME x11_measure
                        RUNTIME_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/host)
  target_link_libraries(velmora_x11_measure PRIVATE X11::X11 X11::Xtst velmora_options)
  target_compile_definitions(velmora_x11_measure PRIVATE
    VELMORA_SWAP_COUNTER_LIBRARY="$<TARGET_FILE:velmora_x11_swap_counter>")
  add_dependencies(velmora_x11_measure velmora_x11_swap_counter velmora)
endif()

if(WIN32 AND TARGET velmora_scr)
  # velmora-measure.scr: the shipped saver's objects, with its SwapBuffers calls
  # taken through win32_swap_log.cpp, which notes when each returned. The call
  # goes through the import pointer, so that is what the linker wraps.
  add_executable(velmora_measure_scr WIN32 ${CMAKE_SOURCE_DIR}/host/win32_main.cpp
                 ${CMAKE_SOURCE_DIR}/host/saver_scene.cpp host/win32_swap_log.cpp)
  set_target_properties(velmora_measure_scr PROPERTIES OUTPUT_NAME velmora-measure SUFFIX .scr
                        RUNTIME_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/host)
  target_link_libraries(velmora_measure_scr PRIVATE velmora_win32_saver velmora_target_wgl velmora_resources)
  target_link_options(velmora_measure_scr PRIVATE -Wl,--wrap=__imp_SwapBuffers)

  add_executable(velmora_win32_measure host/win32_measure.cpp ${CMAKE_SOURCE_DIR}/tests/support/win32_started_saver.cpp)
  set_target_properties(velmora_win32_measure PROPERTIES OUTPUT_NAME win32_measure
                        RUNTIME_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/host)
  target_link_libraries(velmora_win32_measure PRIVATE velmora_options user32 psapi)
  target_link_options(velmora_win32_measure PRIVATE -municode)
  add_dependencies(velmora_win32_measure velmora_measure_scr)
endif()
