# Compile and link settings shared by every target of the project.
add_library(velmora_options INTERFACE)

# Every project header is included by its path from the source root
# ("kernel/universe.h", "tests/support/x11_private_display.h"); generated
# headers by the same path below the generated folder. This is the one place
# the include directories are set.
set(VELMORA_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
target_include_directories(velmora_options INTERFACE ${CMAKE_SOURCE_DIR} ${VELMORA_GENERATED_DIR})

target_compile_options(velmora_options INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wcast-align -Wnull-dereference
  $<$<COMPILE_LANGUAGE:CXX>:-Woverloaded-virtual>)
# The scene must come out the same to the last bit on every build: no compiler
# may fuse a * b + c into one rounding (as it would for FMA-capable targets).
if(MSVC)
  target_compile_options(velmora_options INTERFACE /fp:precise)
else()
  target_compile_options(velmora_options INTERFACE -ffp-contract=off)
endif()

if(VELMORA_WERROR)
  target_compile_options(velmora_options INTERFACE -Werror)
endif()

if(VELMORA_SANITIZE)
  target_compile_options(velmora_options INTERFACE
    -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  target_link_options(velmora_options INTERFACE -fsanitize=address,undefined)
endif()

if(WIN32)
  # One self-contained PE: no compiler runtime DLLs beside it. ASLR, DEP and
  # high-entropy addressing are asked for explicitly, whatever the linker's default.
  target_compile_definitions(velmora_options INTERFACE WIN32_LEAN_AND_MEAN NOMINMAX UNICODE _UNICODE)
  target_link_options(velmora_options INTERFACE
    -static -static-libgcc -static-libstdc++
    -Wl,--dynamicbase -Wl,--nxcompat -Wl,--high-entropy-va)
endif()
