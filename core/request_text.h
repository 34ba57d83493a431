// SPDX-License-Identifier: BSD-3-Clause
// The request text of the console, the queue files and the tools' queue runs: hexadecimal
// pairs, each followed by one separator of any kind, counted by character position.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tessary {

using Bytes = std::vector<uint8_t>;

// Receive room of every exchange, and the most bytes a data line shows.
inline constexpr uint32_t kMaxDataLength = 330;
// Characters in UTF-8 text: a character outside ASCII is one position, whatever the
// number of its bytes. Bytes that are not UTF-8 count one each.
std::size_t characterCount(std::string_view text);

// Bytes in a request text of L characters: (L + 1) / 3. Byte i is the pair at
// characters 3i and 3i + 1; the character after each pair is a separator of any kind.
int RequestByteCount(std::string_view text);

// The count bytes of the request, or the first pair that is not two hexadecimal digits,
// as "0x" and its two characters (the text the conversion error names).
struct ParsedRequest {
    Bytes bytes;
    std::optional<std::string> badPair;
};
ParsedRequest ParseRequestBytes(std::string_view text, int count);

// The prefix, then "%02X " for each of the first 330 bytes, a line feed before every
// sixteenth byte after the first row.
std::string FormatDataLine(std::string_view prefix, const uint8_t* bytes, std::size_t count);

} // namespace tessary
