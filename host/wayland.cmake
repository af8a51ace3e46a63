# The Wayland host of `velmora` (--wayland, --wallpaper): the library
# velmora_wayland_saver, which the entry (posix_main.cpp, in x11.cmake) runs.
# Where the Wayland part is left out (cmake/VelmoraParts.cmake, which looks up
# what it needs), the library is a stand-in that says the build has no
# Wayland, and the hack draws on X11 only. Included by host/CMakeLists.txt
# with the hack.
if(NOT VELMORA_BUILD_WAYLAND)
  add_library(velmora_wayland_saver STATIC wayland_unavailable.cpp)
  target_link_libraries(velmora_wayland_saver PUBLIC velmora_saver_host velmora_options)
  return()
endif()

# Each protocol's C glue and client header, written into the build by
# wayland-scanner and included as "host/wayland_<name>_protocol.h". The layer
# shell names an argument `namespace`, a keyword of C++: the header says
# `name_space` instead.
find_program(VELMORA_SED sed REQUIRED)
set(generated_dir ${VELMORA_GENERATED_DIR}/host)
set(glue)
foreach(protocol IN ITEMS layer_shell xdg_output xdg_shell)
  string(TOUPPER ${protocol} upper)
  set(xml ${VELMORA_${upper}_XML})
  set(header ${generated_dir}/wayland_${protocol}_protocol.h)
  set(code ${generated_dir}/wayland_${protocol}_protocol.c)
  add_custom_command(OUTPUT ${header} ${code}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${generated_dir}
    COMMAND ${VELMORA_WAYLAND_SCANNER} client-header ${xml} ${header}
    COMMAND ${VELMORA_SED} -i -e "s/\\([*,] *\\)namespace\\([),]\\)/\\1name_space\\2/g" ${header}
    COMMAND ${VELMORA_WAYLAND_SCANNER} private-code ${xml} ${code}
    DEPENDS ${xml}
    COMMENT "Generating the Wayland glue of ${protocol} from ${xml}"
    VERBATIM)
  list(APPEND glue ${header} ${code})
endforeach()

# The glue is C, and built without the project's C++ warnings.
add_library(velmora_wayland_protocols STATIC ${glue})
target_link_libraries(velmora_wayland_protocols PUBLIC PkgConfig::VELMORA_WAYLAND_CLIENT)
target_include_directories(velmora_wayland_protocols PUBLIC ${VELMORA_GENERATED_DIR})

add_library(velmora_wayland_saver STATIC wayland_saver.cpp)
target_link_libraries(velmora_wayland_saver PUBLIC
  velmora_saver_run velmora_target_egl_window velmora_wayland_protocols PkgConfig::VELMORA_WAYLAND_CLIENT
  velmora_options)
