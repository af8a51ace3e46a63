# The parts of the build that a machine may lack or a person may leave out,
# and the libraries they need, each looked up here and nowhere else; the
# folders build on the imported targets and on the VELMORA_BUILD_<PART>
# switches this leaves.
#
# A part is the cache variable VELMORA_<PART>:
#   AUTO  (the default) built where all it needs is found; where something is
#         missing, configure says what and goes on without the part
#   ON    built; configure fails when something it needs is missing
#   OFF   left out, and what only it needs is not looked up
# A new part (a host, say) takes three steps here: velmora_part() declares it,
# its libraries are looked up under if(VELMORA_<PART>), velmora_part_check()
# decides; its folders then build it under if(VELMORA_BUILD_<PART>).

function(velmora_part part description)
  set(VELMORA_${part} AUTO CACHE STRING "${description}: AUTO (where found), ON or OFF")
  set_property(CACHE VELMORA_${part} PROPERTY STRINGS AUTO ON OFF)
  string(TOUPPER "${VELMORA_${part}}" choice)
  if(NOT choice MATCHES "^(AUTO|ON|OFF)$")
    message(FATAL_ERROR "VELMORA_${part} is \"${VELMORA_${part}}\"; it takes AUTO, ON or OFF")
  endif()
  set_property(GLOBAL PROPERTY VELMORA_PART_${part} "${description}")
endfunction()

# velmora_part_check(PART "what" found-variable ["what" found-variable]...)
# Each "what" (a library and the Debian package that has it) is there when its
# variable is true. Sets VELMORA_BUILD_<PART> to ON or OFF.
function(velmora_part_check part)
  get_property(description GLOBAL PROPERTY VELMORA_PART_${part})
  string(TOUPPER "${VELMORA_${part}}" choice)
  if(choice STREQUAL "OFF")
    message(STATUS "${description}: left out (VELMORA_${part}=OFF)")
    set(VELMORA_BUILD_${part} OFF PARENT_SCOPE)
    return()
  endif()
  set(missing)
  while(ARGN)
    list(POP_FRONT ARGN what found)
    if(NOT ${found})
      list(APPEND missing "${what}")
    endif()
  endwhile()
  if(NOT missing)
    message(STATUS "${description}: built")
    set(VELMORA_BUILD_${part} ON PARENT_SCOPE)
    return()
  endif()
  list(JOIN missing ", " missing)
  if(choice STREQUAL "ON")
    message(FATAL_ERROR "${description}: VELMORA_${part} is ON, but this is missing: ${missing}")
  endif()
  message(WARNING "${description}: not built; missing: ${missing}. "
                  "(-DVELMORA_${part}=OFF leaves it out without this warning.)")
  set(VELMORA_BUILD_${part} OFF PARENT_SCOPE)
endfunction()

# OpenGL through GLVND: libOpenGL with GLX for the X11 host, with EGL for the
# context that the offscreen and Wayland targets share. FindOpenGL finds
# nothing when one component asked of it is missing, and what it was asked
# stays asked for in the scope that called it: each use asks in a scope of its
# own. Sets VELMORA_<COMPONENT>_FOUND; the targets are OpenGL::OpenGL and
# OpenGL::<COMPONENT>.
function(velmora_find_opengl component)
  find_package(OpenGL COMPONENTS OpenGL ${component})
  set(VELMORA_${component}_FOUND ${OPENGL_FOUND} PARENT_SCOPE)
endfunction()

# The libraries that more than one folder uses.
if(NOT WIN32)
  velmora_find_opengl(EGL)
  find_package(PNG)
endif()

# The X11 saver: the hack `velmora`, its GLX drawing target, its tests and its
# measured run. Its tests and the measured run drive it with XTEST.
if(WIN32)
  set(VELMORA_BUILD_X11 OFF)
else()
  velmora_part(X11 "The X11 saver")
  if(VELMORA_X11)
    find_package(X11)
    velmora_find_opengl(GLX)
  endif()
  set(x11_needs "Xlib (libx11-dev)" X11_FOUND "libOpenGL and GLX (libgl-dev)" VELMORA_GLX_FOUND)
  if(VELMORA_TESTS OR VELMORA_BENCH)
    list(APPEND x11_needs "XTEST, for the tests (libxtst-dev)" X11_Xtst_FOUND)
  endif()
  velmora_part_check(X11 ${x11_needs})
endif()

# The Wayland saver and wallpaper (velmora --wayland, --wallpaper), a host of
# the hack beside the X11 one: libwayland-client and libwayland-egl, EGL,
# wayland-scanner and the descriptions of the protocols it speaks, as Debian
# ships them: xdg-output and xdg-shell in wayland-protocols; the layer shell,
# which wayland-protocols lacks, among the wlroots protocols of
# librust-wayland-protocols-dev (the newest if several versions are there;
# -DVELMORA_LAYER_SHELL_XML=... names another copy).
if(WIN32)
  set(VELMORA_BUILD_WAYLAND OFF)
else()
  velmora_part(WAYLAND "The Wayland saver")
  if(VELMORA_WAYLAND)
    find_package(PkgConfig)
    if(PkgConfig_FOUND)
      pkg_check_modules(VELMORA_WAYLAND_CLIENT IMPORTED_TARGET wayland-client)
      pkg_check_modules(VELMORA_WAYLAND_EGL IMPORTED_TARGET wayland-client wayland-egl)
      pkg_get_variable(VELMORA_WAYLAND_PROTOCOLS_DIR wayland-protocols pkgdatadir)
    endif()
    # The scanner runs on the build machine, also when cross-building.
    find_program(VELMORA_WAYLAND_SCANNER wayland-scanner)
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
  endif()
  velmora_part_check(WAYLAND
    "the X11 saver (VELMORA_X11), whose hack it is part of" VELMORA_BUILD_X11
    "libwayland-client and libwayland-egl (libwayland-dev)" VELMORA_WAYLAND_EGL_FOUND
    "wayland-scanner (libwayland-bin)" VELMORA_WAYLAND_SCANNER
    "EGL (libegl-dev)" VELMORA_EGL_FOUND
    "the xdg-output description (wayland-protocols)" VELMORA_XDG_OUTPUT_XML
    "the xdg-shell description (wayland-protocols)" VELMORA_XDG_SHELL_XML
    "the layer shell's description (librust-wayland-protocols-dev)" VELMORA_LAYER_SHELL_XML)
endif()

# The packages and their tests: natively the Debian and RPM packages (of the
# X11 saver and the tools), on Windows the setup program and the zip.
velmora_part(PACKAGES "The packages")
if(WIN32)
  if(VELMORA_PACKAGES)
    find_program(VELMORA_MAKENSIS makensis)
  endif()
  velmora_part_check(PACKAGES "makensis (nsis)" VELMORA_MAKENSIS)
else()
  velmora_part_check(PACKAGES "the X11 saver (VELMORA_X11)" VELMORA_BUILD_X11)
endif()
