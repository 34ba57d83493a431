# SPDX-License-Identifier: BSD-3-Clause
# The house warnings; TESSARY_WERROR turns them into errors (the test script and CI do).
option(TESSARY_WERROR "Treat warnings as errors" OFF)

add_library(tessary_warnings INTERFACE)
target_compile_options(tessary_warnings INTERFACE
    -Wall -Wextra -Wpedantic -Wshadow -Wconversion
    $<$<BOOL:${TESSARY_WERROR}>:-Werror>)
