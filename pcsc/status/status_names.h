// SPDX-License-Identifier: BSD-3-Clause
// The printed names of the status codes, one table for the library's trace and for the
// desktop program.
#pragma once

#include <cstdint>

namespace prolvak {

// The longest name, KTX_PCSC_SCARDESTABLISHCONTEXT_ERR, with its terminating zero.
inline constexpr std::size_t kStatusNameCapacity = 35;

// The name of a status code by exact value; ISP_UNKNOWN_ERR for anything not in the table.
const char* statusName(int32_t code);

} // namespace prolvak
