// SPDX-License-Identifier: BSD-3-Clause
// Words for what the tools print: a PC/SC result by its name and value, and text from a
// file or a reader made safe for a terminal.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tessary {

// pcsc-lite's name of a result ("SCARD_W_REMOVED_CARD"); nullptr for a value it has none for.
const char* pcscResultName(int64_t result);
// "SCARD_W_REMOVED_CARD 0x80100069", or the value alone when it has no name.
std::string pcscResultText(int64_t result);

// The text with every control character (and the backslash that starts an escape) written
// as \xNN (\\), so that a name from a file can neither end a line nor move the cursor.
std::string printable(std::string_view text);

// "SIGINT", "SIGTERM", "SIGHUP", or "signal N": the signal that stopped a run.
std::string signalName(int signal);

} // namespace tessary
