// SPDX-License-Identifier: BSD-3-Clause
#include "testing.h"

#include "binding.h"

namespace prolvak::testing {

void setServiceLibrary(const char* name) {
    prolvak::setServiceLibrary(name);
}

void setCounter(Counter counter) {
    prolvak::setCounter(counter);
}

void reset() {
    {
        TraceLock lock;
        lock.close();
        g_trace = TraceState{};
    }
    prolvak::setCounter(steadyCounter());
    prolvak::setServiceLibrary("libpcsclite.so.1");
    unbindService();
}

} // namespace prolvak::testing
