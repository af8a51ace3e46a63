# The Wayland host of `velmora` (--wayland, --wallpaper): the library
# velmora_wayland_saver, which the entry (posix_main.cpp, in x11.cmake) runs.
# Optional: without libwayland-client, the EGL window target (libwayland-egl,
# libEGL, libOpenGL) or the protocols' descriptions, the library is a stand-in
# that says the build has no Wayland, and the hack draws on X11 only.
# Included by host/CMakeLists.txt on every target but Windows.
find_package(PkgConfig)
if(PkgConfig_FOUND)
  pkg_check_modules(VELMORA_WAYLAND_CLIENT IMPORTED_TARGET wayland-client)
  pkg_get_variable(VELMORA_WAYLAND_PROTOCOLS_DIR wayland-protocols pkgdatadir)
endif()
# The scanner runs on the build machine, also when cross-building.
find_program(VELMORA_WAYLAND_SCANNER wayland-scanner)

# The protocols' descriptions, as Debian ships them: xdg-output and xdg-shell
# in wayland-protocols; the layer shell, which wayland-protocols lacks, among
# the wlroots protocols of librust-wayland-protocols-dev (the newest if several
# versions are installed). -DVELMORA_LAYER_SHELL_XML=... names another copy.
set(protocols ${VELMORA_WAYLAND_PROTOCOLS_DIR} /usr/share/wayland-protocols)
find_file(VELMORA_XDG_OUTPUT_XML xdg-output-unstable-v1.xml
          PATHS ${protocols} PATH_SUFFIXES unstable/xdg-output NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
find_file(VELMORA_XDG_SHELL_XML xdg-shell.xml
          PATHS ${protocols} PATH_SUFFIXES stable/xdg-shell NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
file(GLOB layer_shell_copies
     /usr/share/cargo/registry/wayland-protocols-*/wlr-protocols/unstable/wlr-layer-shell-unstable-v1.xml)
if(layer_shell_copies AND NOT VELMORA_LAYER_SHELL_XML)
  list(SORT layer_shell_copies COMPARE NATURAL ORDER DESCENDING)
  list(GET layer_shell_copies 0 newest)
  set(VELMORA_LAYER_SHELL_XML ${newest} CACHE FILEPATH "The layer shell's protocol description")
endif()

set(missing)
if(NOT VELMORA_WAYLAND_CLIENT_FOUND)
  list(APPEND missing "libwayland-client (libwayland-dev)")
endif()
if(NOT VELMORA_WAYLAND_SCANNER)
  list(APPEND missing "wayland-scanner (libwayland-bin)")
endif()
if(NOT VELMORA_XDG_OUTPUT_XML OR NOT VELMORA_XDG_SHELL_XML)
  list(APPEND missing "the xdg-output and xdg-shell descriptions (wayland-protocols)")
endif()
if(NOT VELMORA_LAYER_SHELL_XML)
  list(APPEND missing "the layer shell's description (librust-wayland-protocols-dev)")
endif()
if(NOT TARGET velmora_target_egl_window)
  list(APPEND missing "the EGL window target (libwayland-egl, libEGL, libOpenGL: libwayland-dev, libegl-dev, libopengl-dev)")
endif()

if(missing)
  list(JOIN missing ", " missing)
  message(STATUS "velmora: no Wayland host (missing ${missing}); the hack draws on X11 only")
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
