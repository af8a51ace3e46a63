# The Windows packages, built by the target windows-packages (also reachable
# as "package"): velmora-VERSION-setup.exe, made with Debian's makensis from
# packaging/windows/velmora.nsi, and velmora-VERSION-win64.zip holding the bare
# velmora.scr for those who install by hand. Both go to VELMORA_PACKAGE_DIR.
# Included where the packages are built (VELMORA_PACKAGES, which finds makensis).
set(VELMORA_PACKAGE_DIR ${CMAKE_BINARY_DIR}/packages CACHE PATH "Where the packages are written")

set(VELMORA_SETUP ${VELMORA_PACKAGE_DIR}/velmora-${PROJECT_VERSION}-setup.exe)
set(VELMORA_ZIP ${VELMORA_PACKAGE_DIR}/velmora-${PROJECT_VERSION}-win64.zip)
set(nsi ${CMAKE_SOURCE_DIR}/packaging/windows/velmora.nsi)
set(icon ${CMAKE_SOURCE_DIR}/resources/velmora.ico)

add_custom_command(OUTPUT ${VELMORA_SETUP}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${VELMORA_PACKAGE_DIR}
  COMMAND ${VELMORA_MAKENSIS} -V2 -WX -NOCD -DVERSION=${PROJECT_VERSION} -DSCR=$<TARGET_FILE:velmora_scr>
          -DICON=${icon} -DOUTFILE=${VELMORA_SETUP} ${nsi}
  DEPENDS velmora_scr ${nsi} ${icon}
  COMMENT "Building ${VELMORA_SETUP}"
  VERBATIM)

add_custom_command(OUTPUT ${VELMORA_ZIP}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${VELMORA_PACKAGE_DIR}
  COMMAND ${CMAKE_COMMAND} -E tar cf ${VELMORA_ZIP} --format=zip -- velmora.scr
  WORKING_DIRECTORY $<TARGET_FILE_DIR:velmora_scr>
  DEPENDS velmora_scr
  COMMENT "Building ${VELMORA_ZIP}"
  VERBATIM)

add_custom_target(windows-packages DEPENDS ${VELMORA_SETUP} ${VELMORA_ZIP})

# "package" is CMake's usual name for this; it is free as long as CPack is not
# used in this build.
if(NOT TARGET package)
  add_custom_target(package DEPENDS windows-packages)
endif()

# The packages' tests are in tests/packaging/CMakeLists.txt.
