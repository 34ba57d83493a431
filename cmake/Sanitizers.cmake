# SPDX-License-Identifier: BSD-3-Clause
# Address and undefined-behaviour sanitizers for a whole build tree. Targets that another,
# uninstrumented process loads (the reader driver pcscd loads) say NO_SANITIZE.
option(TESSARY_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)

add_library(tessary_sanitizers INTERFACE)
if(TESSARY_SANITIZE)
    set(_san -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
    target_compile_options(tessary_sanitizers INTERFACE ${_san})
    target_link_options(tessary_sanitizers INTERFACE ${_san})
endif()

# Every target of ours: house warnings, plus the sanitizers unless told otherwise.
function(tessary_target target)
    cmake_parse_arguments(arg "NO_SANITIZE" "" "" ${ARGN})
    target_link_libraries(${target} PRIVATE tessary_warnings)
    if(NOT arg_NO_SANITIZE)
        target_link_libraries(${target} PRIVATE tessary_sanitizers)
    endif()
endfunction()
