// SPDX-License-Identifier: BSD-3-Clause
// The printable name the operator sees for a status code of the access library.
#pragma once

#include <cstdint>

namespace tessary {

// Writes the name of `code` with its terminating zero into `buffer`, which holds at least
// 35 bytes, and returns the buffer. Codes outside the table, raw PC/SC results included,
// give "ISP_UNKNOWN_ERR".
char* StatusCodeName(int32_t code, char* buffer);

} // namespace tessary
