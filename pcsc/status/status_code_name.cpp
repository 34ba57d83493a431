// SPDX-License-Identifier: BSD-3-Clause
#include "status_code_name.h"

#include "status_names.h"

#include <cstring>

namespace tessary {

char* StatusCodeName(int32_t code, char* buffer) {
    const char* name = prolvak::statusName(code);
    // Every name fits the 35 bytes the callers reserve.
    std::memcpy(buffer, name, std::strlen(name) + 1);
    return buffer;
}

} // namespace tessary
