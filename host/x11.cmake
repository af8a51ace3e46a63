# The native X11 saver `velmora`: an XScreenSaver-style hack on Xlib and GLX, and
# the rules that install it where XScreenSaver looks for hacks. Included by
# host/CMakeLists.txt where the part is built (VELMORA_X11, whose check in
# cmake/VelmoraParts.cmake finds Xlib and GLX).
include(GNUInstallDirs)

# The whole saver as objects: the hack and its test build velmora-test
# (tests/host/x11.cmake) are these objects plus, for the test build, its own.
# An object library's objects go only into the programs that name it, so each
# program names the drawing target as well.
# The entry (posix_main.cpp) runs the Wayland host too (wayland.cmake).
add_library(velmora_x11_saver OBJECT posix_main.cpp x11_saver.cpp)
target_link_libraries(velmora_x11_saver PUBLIC
  velmora_saver_run velmora_wayland_saver X11::X11 OpenGL::GLX OpenGL::OpenGL velmora_options)

add_executable(velmora saver_scene.cpp)
target_link_libraries(velmora PRIVATE velmora_x11_saver velmora_target_glx)

set(VELMORA_XSCREENSAVER_CONFIG_DIR ${CMAKE_INSTALL_DATADIR}/xscreensaver/config CACHE STRING
    "Where the hack's description goes; XScreenSaver's settings read /usr/share/xscreensaver/config")
set(VELMORA_HACK_DIR ${CMAKE_INSTALL_LIBEXECDIR}/xscreensaver CACHE STRING
    "Where the hack goes; Debian's XScreenSaver runs its hacks from /usr/libexec/xscreensaver")
install(TARGETS velmora RUNTIME DESTINATION ${VELMORA_HACK_DIR})
install(FILES x11_velmora.xml DESTINATION ${VELMORA_XSCREENSAVER_CONFIG_DIR} RENAME velmora.xml)

# The desktop entry by which MATE's and Xfce's screen savers find the hack.
# It names the hack by its full path, so it is written when installing, from
# the prefix in effect then (`cmake --install --prefix`, DESTDIR and CPack's
# /usr all give the path the hack really lands at). Those savers list only
# entries shown in their desktop (OnlyShowIn), and run only hacks in the
# folders they know, /usr/libexec/xscreensaver among them.
set(VELMORA_SCREENSAVERS_DIR ${CMAKE_INSTALL_DATADIR}/applications/screensavers CACHE STRING
    "Where the desktop entry goes; MATE's and Xfce's screen savers read /usr/share/applications/screensavers")
install(CODE "set(VELMORA_HACK_DIR [[${VELMORA_HACK_DIR}]])
set(VELMORA_SCREENSAVERS_DIR [[${VELMORA_SCREENSAVERS_DIR}]])
set(VELMORA_DESKTOP_TEMPLATE [[${CMAKE_CURRENT_LIST_DIR}/x11_velmora.desktop.in]])")
install(SCRIPT ${CMAKE_CURRENT_LIST_DIR}/x11_install_desktop_entry.cmake)
