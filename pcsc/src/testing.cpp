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
    if (g_trace.traceFile != nullptr) {
        std::fclose(g_trace.traceFile);
    }
    g_trace = TraceState{};
    prolvak::setCounter(steadyCounter());
    prolvak::setServiceLibrary("libpcsclite.so.1");
    unbindService();
}

} // namespace prolvak::testing
