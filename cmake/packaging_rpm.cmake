# The RPM package for Fedora and openSUSE (`cpack -G RPM`, or scripts/package),
# made by CPack's RPM generator from the same install rules as the Debian
# package: Fedora's XScreenSaver keeps its hacks and their descriptions in the
# same places as Debian's. Only an RPM holds the hack's entry for XScreenSaver's
# list (Fedora builds that list from hacks.conf.d), the scriptlets that rebuild
# the list, and the licence where Fedora keeps licences. Included by
# packaging_debian.cmake before CPack.
set(VELMORA_RPM_SOURCE ${CMAKE_SOURCE_DIR}/packaging/rpm)

install(FILES ${VELMORA_RPM_SOURCE}/velmora.conf
        DESTINATION ${CMAKE_INSTALL_DATADIR}/xscreensaver/hacks.conf.d COMPONENT rpm EXCLUDE_FROM_ALL)
install(FILES ${VELMORA_DEBIAN_SOURCE}/copyright
        DESTINATION ${CMAKE_INSTALL_DATADIR}/licenses/velmora COMPONENT rpm EXCLUDE_FROM_ALL)

set(CPACK_RPM_FILE_NAME RPM-DEFAULT) # velmora-VERSION-RELEASE.ARCH.rpm
set(CPACK_RPM_PACKAGE_RELEASE 1)
set(CPACK_RPM_PACKAGE_LICENSE "LicenseRef-Proprietary")
set(CPACK_RPM_PACKAGE_GROUP "Amusements/Graphics")
set(CPACK_RPM_PACKAGE_URL "https://velmora.example.org/")
# rpm's summaries begin with a capital, Debian's synopses do not.
string(SUBSTRING "${VELMORA_PACKAGE_SUMMARY}" 0 1 first)
string(SUBSTRING "${VELMORA_PACKAGE_SUMMARY}" 1 -1 rest)
string(TOUPPER "${first}" first)
set(CPACK_RPM_PACKAGE_SUMMARY "${first}${rest}")
set(CPACK_RPM_PACKAGE_DESCRIPTION "${VELMORA_PACKAGE_DESCRIPTION}")
if(CMAKE_CROSSCOMPILING)
  set(CPACK_RPM_PACKAGE_ARCHITECTURE ${CMAKE_SYSTEM_PROCESSOR})
endif()
# Requires come from rpm's own look at the programs (their libraries' sonames);
# XScreenSaver is wanted, not needed, as in the Debian package. CPack has no
# variable for the Recommends and Packager tags, so they go into the RPM build file's
# header directly; so does the choice of no /usr/lib/.build-id links, which
# belong with debugging information that this package does not ship.
set(CPACK_RPM_PACKAGE_AUTOREQPROV ON)
set(CPACK_RPM_SPEC_MORE_DEFINE "Recommends: xscreensaver-gl-base
Packager: ${CPACK_PACKAGE_CONTACT}
%define _build_id_links none")
set(CPACK_RPM_USER_FILELIST "%license /usr/share/licenses/velmora/copyright")
# Folders that the filesystem package owns are not the package's own; those of
# XScreenSaver's it shares with XScreenSaver, so that they go when both are gone.
set(CPACK_RPM_EXCLUDE_FROM_AUTO_FILELIST_ADDITION
    /usr/libexec /usr/share/man /usr/share/man/man1 /usr/share/man/man6 /usr/share/applications
    /usr/share/licenses)
set(CPACK_RPM_POST_INSTALL_SCRIPT_FILE ${VELMORA_RPM_SOURCE}/update-xscreensaver-hacks.sh)
set(CPACK_RPM_POST_UNINSTALL_SCRIPT_FILE ${VELMORA_RPM_SOURCE}/update-xscreensaver-hacks.sh)
