# The hosts' measured runs (bench/host/measured-run): programs that start a
# saver, sample it and print figures. Not tests, and not in the benchmark loop.
if(NOT WIN32 AND TARGET velmora)
  find_package(X11 REQUIRED)
  # x11_measure runs a GL program with x11_swap_counter.so preloaded, which notes
  # each buffer swap.
  add_library(x11_swap_counter MODULE host/x11_swap_counter.cpp)
  set_target_properties(x11_swap_counter PROPERTIES PREFIX "" LIBRARY_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/host)
  target_include_directories(x11_swap_counter PRIVATE ${CMAKE_SOURCE_DIR})
  target_link_libraries(x11_swap_counter PRIVATE velmora_options ${CMAKE_DL_LIBS})
  add_executable(x11_measure host/x11_measure.cpp)
  set_target_properties(x11_measure PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/host)
  target_include_directories(x11_measure PRIVATE ${CMAKE_SOURCE_DIR})
  target_link_libraries(x11_measure PRIVATE X11::X11 X11::Xtst velmora_options)
  target_compile_definitions(x11_measure PRIVATE
    VELMORA_SWAP_COUNTER_LIBRARY="$<TARGET_FILE:x11_swap_counter>")
  add_dependencies(x11_measure x11_swap_counter velmora)
endif()

if(WIN32 AND TARGET velmora_scr)
  # velmora-measure.scr: the shipped saver, with its SwapBuffers calls taken
  # through win32_swap_log.cpp, which notes when each returned. The call goes
  # through the import pointer, so that is what the linker wraps.
  add_executable(velmora_measure_scr WIN32 ${CMAKE_SOURCE_DIR}/host/win32_main.cpp host/win32_swap_log.cpp)
  set_target_properties(velmora_measure_scr PROPERTIES OUTPUT_NAME velmora-measure SUFFIX .scr
                        RUNTIME_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/host)
  target_include_directories(velmora_measure_scr PRIVATE ${CMAKE_SOURCE_DIR})
  target_link_libraries(velmora_measure_scr PRIVATE velmora_win32_shell velmora_engine velmora_target_wgl
                        velmora_resources velmora_options)
  target_link_options(velmora_measure_scr PRIVATE -municode -Wl,--wrap=__imp_SwapBuffers)

  add_executable(win32_measure host/win32_measure.cpp)
  set_target_properties(win32_measure PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/host)
  target_include_directories(win32_measure PRIVATE ${CMAKE_SOURCE_DIR})
  target_link_libraries(win32_measure PRIVATE velmora_options user32 psapi)
  target_link_options(win32_measure PRIVATE -municode)
  add_dependencies(win32_measure velmora_measure_scr)
endif()
