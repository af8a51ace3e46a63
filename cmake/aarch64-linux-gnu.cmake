# Cross-compiling for 64-bit ARM Linux (Debian's arm64, as on a Raspberry Pi)
# with Debian's aarch64 cross compiler. The arm64 libraries come from Debian's
# arm64 archive, installed beside the native ones by multiarch
# (scripts/install-deps --arm64): headers in /usr/include, libraries in
# /usr/lib/aarch64-linux-gnu, where the cross compiler and CMake look for them.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)

set(triple aarch64-linux-gnu)
set(CMAKE_C_COMPILER ${triple}-gcc)
set(CMAKE_CXX_COMPILER ${triple}-g++)
set(CMAKE_LIBRARY_ARCHITECTURE ${triple})

# pkg-config must read the arm64 libraries' .pc files, never the native ones.
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/${triple}/pkgconfig:/usr/share/pkgconfig)

# Programs built here run under qemu-user where it is installed; qemu finds the
# arm64 loader and libraries in their multiarch places.
find_program(VELMORA_QEMU_AARCH64 qemu-aarch64)
if(VELMORA_QEMU_AARCH64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VELMORA_QEMU_AARCH64})
endif()
