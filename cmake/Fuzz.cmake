# SPDX-License-Identifier: BSD-3-Clause
# libFuzzer targets live in a build tree of their own, compiled by clang with coverage
# instrumentation and the address and undefined-behaviour sanitizers in every library, so
# that a fault anywhere below a target is caught where it happens.
option(TESSARY_FUZZ "Build the libFuzzer targets (clang only, a build tree of their own)" OFF)

# Shared libraries check at link time that nothing they use is missing. Clang puts the
# sanitizer runtimes into the program only, so in the fuzz tree the check is left out.
set(TESSARY_NO_UNDEFINED -Wl,--no-undefined)

if(TESSARY_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
        message(FATAL_ERROR "TESSARY_FUZZ needs clang++: configure with -DCMAKE_CXX_COMPILER=clang++")
    endif()
    if(TESSARY_SANITIZE)
        message(FATAL_ERROR "TESSARY_FUZZ brings its own sanitizers; leave TESSARY_SANITIZE off")
    endif()
    add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
        -fno-sanitize-recover=all)
    add_link_options(-fsanitize=address,undefined)
    set(TESSARY_NO_UNDEFINED)
endif()
