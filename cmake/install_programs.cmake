# What a plain install (`cmake --install`) puts in place besides the hack and
# its descriptions (host/x11.cmake): the tools in bin and a manual page for
# each program built. Every build but the Windows one.
include(GNUInstallDirs)
find_program(VELMORA_GZIP gzip REQUIRED)

set(VELMORA_DEBIAN_SOURCE ${CMAKE_SOURCE_DIR}/packaging/debian)
set(VELMORA_DEBIAN_BINARY ${CMAKE_BINARY_DIR}/packaging/debian)

# Manual pages and the changelog (which packaging_debian.cmake adds to its
# package) carry the project's version (configured from NAME.in) and go in
# gzipped, as Debian wants them: -9 for size, -n so that the same text always
# gives the same bytes.
set(compressed)
foreach(name velmora.6 velmora-snapshot.1 velmora-sim.1 velmora-add-to-xscreensaver.1 changelog)
  set(source ${VELMORA_DEBIAN_BINARY}/${name})
  configure_file(${VELMORA_DEBIAN_SOURCE}/${name}.in ${source} @ONLY)
  add_custom_command(OUTPUT ${source}.gz
    COMMAND ${VELMORA_GZIP} -9n -c ${source} > ${source}.gz
    DEPENDS ${source}
    VERBATIM)
  list(APPEND compressed ${source}.gz)
endforeach()
add_custom_target(velmora_debian_documents ALL DEPENDS ${compressed})

# Each program this build has, with its manual page.
set(programs velmora velmora.6 velmora_sim velmora-sim.1 velmora_snapshot velmora-snapshot.1
             velmora_add_to_xscreensaver velmora-add-to-xscreensaver.1)
while(programs)
  list(POP_FRONT programs target page)
  if(NOT TARGET ${target})
    continue()
  endif()
  if(NOT target STREQUAL "velmora")
    install(TARGETS ${target} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
  string(REGEX MATCH "[0-9]$" section ${page})
  install(FILES ${VELMORA_DEBIAN_BINARY}/${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section})
endwhile()

if(TARGET velmora)
  # `velmora` on PATH, as desktops' idle daemons and autostart files name the
  # Wayland saver and wallpaper: a relative link to the hack, which stays
  # where XScreenSaver and MATE's and Xfce's savers look for it.
  if(IS_ABSOLUTE "${VELMORA_HACK_DIR}")
    set(link_target ${VELMORA_HACK_DIR}/velmora)
  else()
    file(RELATIVE_PATH link_target /prefix/${CMAKE_INSTALL_BINDIR} /prefix/${VELMORA_HACK_DIR}/velmora)
  endif()
  file(CREATE_LINK ${link_target} ${VELMORA_DEBIAN_BINARY}/velmora SYMBOLIC)
  install(FILES ${VELMORA_DEBIAN_BINARY}/velmora DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
