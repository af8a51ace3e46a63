# The cost of a rendered cycle offscreen (OSMesa on llvmpipe), through the
# kernel and as a bare replay of the same OpenGL calls, and start-up to the
# first frame. Native only, like the offscreen target.
if(TARGET velmora_target_osmesa)
  velmora_benchmark(render_bench render_bench.cpp)
  target_link_libraries(render_bench PRIVATE velmora_engine velmora_target_osmesa)
endif()

# A night of rendered cycles through the kernel, as fast as it goes: a measured
# run (scripts/run-bench --night), not a benchmark.
if(TARGET velmora_target_osmesa)
  add_executable(offscreen_night offscreen_night.cpp)
  target_link_libraries(offscreen_night PRIVATE velmora_engine velmora_target_osmesa velmora_scene velmora_kernel
                        velmora_options)
endif()
