# Fuzzers for the command lines, with libFuzzer: natively, where Debian's clang
# is installed, and not in the sanitizer build (a fuzzer brings its own). Each
# runs for VELMORA_FUZZ_SECONDS in the test suite; longer by hand with the same
# program (see README).
#
# A fuzzer's inputs: the committed seeds (SEEDS), the corpus it grew on earlier
# runs (build/.../NAME-corpus, where it writes what it finds new) and its
# crashes folder (NAME-crashes). An input that crashes it or trips a sanitizer
# is written to the crashes folder, and the next run reads that folder first of
# all, so the fault fails every run until it is fixed. Replay one with
# `NAME build/.../NAME-crashes/crash-...`; once fixed, move it into SEEDS.
if(NOT CMAKE_CROSSCOMPILING AND NOT VELMORA_SANITIZE)
  find_program(VELMORA_CLANGXX NAMES clang++ clang++-14)
  if(NOT VELMORA_CLANGXX)
    message(STATUS "clang++ not found: no command-line fuzzers")
  endif()
endif()
set(VELMORA_FUZZ_SECONDS 30 CACHE STRING "Seconds each command-line fuzzer runs in the test suite")

# velmora_fuzzer(NAME TEST test-name SEEDS dir [MAX_LEN bytes] LABELS label... SOURCES file...)
# NAME is the program's file name; its target is NAME with _ for -.
function(velmora_fuzzer name)
  cmake_parse_arguments(ARG "" "TEST;SEEDS;MAX_LEN" "LABELS;SOURCES" ${ARGN})
  if(NOT ARG_MAX_LEN)
    set(ARG_MAX_LEN 512)
  endif()
  string(REPLACE "-" "_" target ${name})
  if(CMAKE_CROSSCOMPILING OR VELMORA_SANITIZE OR NOT VELMORA_CLANGXX)
    return()
  endif()
  set(fuzzer ${CMAKE_CURRENT_BINARY_DIR}/${name})
  set(crashes ${CMAKE_CURRENT_BINARY_DIR}/${name}-crashes)
  set(corpus ${CMAKE_CURRENT_BINARY_DIR}/${name}-corpus)
  add_custom_command(OUTPUT ${fuzzer}
    COMMAND ${VELMORA_CLANGXX} -std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined
            -fno-sanitize-recover=undefined -I${CMAKE_SOURCE_DIR} -I${VELMORA_GENERATED_DIR} -MD -MF ${fuzzer}.d ${ARG_SOURCES} -o ${fuzzer}
    DEPENDS ${ARG_SOURCES}
    DEPFILE ${fuzzer}.d
    COMMENT "Building the fuzzer ${name} with clang")
  add_custom_target(${target} ALL DEPENDS ${fuzzer})
  file(MAKE_DIRECTORY ${corpus} ${crashes})
  # libFuzzer writes new inputs into the first folder, the corpus; it runs every
  # input of every folder before it mutates any, the crashes among them.
  add_test(NAME ${ARG_TEST}
    COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1
            ${fuzzer} -max_total_time=${VELMORA_FUZZ_SECONDS} -max_len=${ARG_MAX_LEN} -print_final_stats=1
            -artifact_prefix=${crashes}/ ${corpus} ${crashes} ${ARG_SEEDS})
  set_tests_properties(${ARG_TEST} PROPERTIES LABELS "${ARG_LABELS};fuzz" TIMEOUT 600)
  velmora_guard_folder()
endfunction()
