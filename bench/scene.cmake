# The rain scene's own cost, and its day-long soak run (a measured run outside
# `make bench`: build/native-release/bench/scene_soak, or the scene-soak target).
velmora_benchmark(scene_bench scene_bench.cpp)
target_link_libraries(scene_bench PRIVATE velmora_scene)

add_executable(scene_soak scene_soak.cpp)
target_link_libraries(scene_soak PRIVATE velmora_scene velmora_options)
add_custom_target(scene-soak COMMAND scene_soak DEPENDS scene_soak USES_TERMINAL)
