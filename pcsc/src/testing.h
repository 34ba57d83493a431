// SPDX-License-Identifier: BSD-3-Clause
// Hooks for the library's own tests; not exported from the shared library.
#pragma once

#include "trace.h"

namespace prolvak::testing {

// The service library that InitLibrary_WIN loads by name.
void setServiceLibrary(const char* name);
// The counter behind every time stamp.
void setCounter(Counter counter);
// As when the library has just been loaded: trace off and closed, nothing bound, the
// steady counter.
void reset();

} // namespace prolvak::testing
