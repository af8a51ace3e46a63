# Read by cpack once for each generator (CPACK_PROJECT_CONFIG_FILE). A package
# holds every file of the plain install and, besides, the component of files
# that only its kind of package has (see packaging_debian.cmake).
list(GET CPACK_INSTALL_CMAKE_PROJECTS 0 velmora_build)
list(GET CPACK_INSTALL_CMAKE_PROJECTS 1 velmora_project)
if(CPACK_GENERATOR STREQUAL "DEB")
  set(velmora_own debian)
  # dpkg-shlibdeps finds the libraries, their packages and the objdump to read
  # the programs with by the host architecture, which for a cross build is the
  # package's and not this machine's.
  if(CPACK_DEBIAN_PACKAGE_ARCHITECTURE)
    set(ENV{DEB_HOST_ARCH} ${CPACK_DEBIAN_PACKAGE_ARCHITECTURE})
  endif()
elseif(CPACK_GENERATOR STREQUAL "RPM")
  set(velmora_own rpm)
endif()
if(DEFINED velmora_own)
  set(CPACK_INSTALL_CMAKE_PROJECTS "${velmora_build};${velmora_project};ALL;/;${velmora_build};${velmora_project};${velmora_own};/")
endif()
