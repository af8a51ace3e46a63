# The rain scene's own cost per cycle. The simulated day is a soak run outside
# `make bench`: `cmake --build build/native-release --target scene-soak` runs
# velmora-sim over 2,880,000 cycles with the figures of every simulated hour.
velmora_benchmark(scene_bench scene_bench.cpp)
target_link_libraries(scene_bench PRIVATE velmora_scene)

add_custom_target(scene-soak
  COMMAND velmora-sim --seed 20240101 --cycles 2880000 --every 120000
  DEPENDS velmora-sim
  USES_TERMINAL)
