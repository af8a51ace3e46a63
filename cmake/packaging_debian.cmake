# The Debian package, built by CPack's DEB generator (`cpack -G DEB`, or
# scripts/package): the hack where Debian's XScreenSaver keeps its own hacks,
# its description where XScreenSaver's settings read them, the tools in
# /usr/bin, a manual page for each, and the copyright file and changelog that
# every Debian package carries. The same build makes the RPM package from the
# same install rules (packaging_rpm.cmake), and a cross build (the arm64
# preset) the Debian package of its architecture.
#
# Every install rule without a component of its own (host/x11.cmake,
# install_programs.cmake) goes into both packages. What only one of them holds
# is in component "debian" or "rpm", left out of a plain install
# (EXCLUDE_FROM_ALL) and added by packaging_per_generator.cmake.
set(VELMORA_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/velmora)

# A version without a Debian revision makes this a native package, whose
# changelog Debian names changelog.gz.
install(FILES ${VELMORA_DEBIAN_SOURCE}/copyright ${VELMORA_DEBIAN_BINARY}/changelog.gz
        DESTINATION ${VELMORA_DOC_DIR} COMPONENT debian EXCLUDE_FROM_ALL)

set(CPACK_GENERATOR DEB)
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/packaging_per_generator.cmake)
set(CPACK_PACKAGE_NAME velmora)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Velmora developers")
set(CPACK_PACKAGE_CONTACT "The Velmora developers <velmora@example.org>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT) # velmora_VERSION_ARCH.deb
set(CPACK_DEBIAN_PACKAGE_SECTION x11)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS xscreensaver)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
if(CMAKE_CROSSCOMPILING)
  # Debian's name for the architecture; packaging_per_generator.cmake makes
  # dpkg-shlibdeps read this architecture's libraries for it.
  if(CMAKE_SYSTEM_PROCESSOR STREQUAL "aarch64")
    set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE arm64)
  else()
    message(FATAL_ERROR "No Debian architecture known for ${CMAKE_SYSTEM_PROCESSOR}")
  endif()
endif()
set(VELMORA_PACKAGE_SUMMARY "rain on a window pane, a screen saver for XScreenSaver and Wayland")
set(VELMORA_PACKAGE_DESCRIPTION
    "The view through a window pane in the rain, drawn with OpenGL: slanted rain
streaks fall across a dark landscape while water drops run down the pane,
stick, merge, dry up and leave trails, and a small analogue clock shows the
local time.

The package holds the hack for XScreenSaver with its settings description,
which on a Wayland desktop with the layer shell (sway, Hyprland, KDE Plasma
and others, not GNOME) also covers every output as a saver that an idle
daemon starts, or lies under every window as a live wallpaper;
velmora-add-to-xscreensaver, which adds it to a user's XScreenSaver list of
screen savers, velmora-snapshot, which draws the scene into a PNG picture or
a WebP recording without a display, and velmora-sim, which runs the scene
headless and prints what it did.")
# CPack indents the lines after the synopsis and marks the empty one.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "${VELMORA_PACKAGE_SUMMARY}\n${VELMORA_PACKAGE_DESCRIPTION}")
include(${CMAKE_CURRENT_LIST_DIR}/packaging_rpm.cmake)
include(CPack)

# The package's tests are in tests/packaging/CMakeLists.txt.
