# Run by `cmake --install` (and by CPack): writes the desktop entry with the
# full path the hack is installed at under the prefix in effect now.
# VELMORA_HACK_DIR, VELMORA_SCREENSAVERS_DIR (each absolute or relative to the
# prefix) and VELMORA_DESKTOP_TEMPLATE come from the install rules.
foreach(variable VELMORA_HACK_DIR VELMORA_SCREENSAVERS_DIR)
  if(NOT IS_ABSOLUTE "${${variable}}")
    set(${variable} "${CMAKE_INSTALL_PREFIX}/${${variable}}")
  endif()
endforeach()
set(VELMORA_HACK_PATH "${VELMORA_HACK_DIR}/velmora")
set(entry "$ENV{DESTDIR}${VELMORA_SCREENSAVERS_DIR}/velmora.desktop")
message(STATUS "Installing: ${entry}")
configure_file("${VELMORA_DESKTOP_TEMPLATE}" "${entry}" @ONLY
               FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${entry}")
