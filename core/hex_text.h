// SPDX-License-Identifier: BSD-3-Clause
// Hexadecimal text, the one way every program of ours reads and writes it: a digit in
// either case is read, upper-case pairs are written.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace tessary {

// The value of a hexadecimal digit; -1 for any other character.
int hexDigit(char c);

// The byte of two digits; nothing when either is no digit.
std::optional<uint8_t> hexByte(char high, char low);

// Appends the byte as two upper-case digits.
void appendHex(std::string& text, uint8_t byte);

// Bytes as upper-case pairs with one blank between: "00 A4 04 00".
std::string formatHex(std::span<const uint8_t> bytes);

} // namespace tessary
