// SPDX-License-Identifier: BSD-3-Clause
// APDU scripts and response patterns: plain functions of text, so that anything (the
// program, its tests, a fuzzer) reads them alike. A script holds one APDU per line in
// hexadecimal, blanks between bytes optional; "#" starts a comment; "=>" after the APDU
// starts the response pattern it must match: hexadecimal bytes, "xx" (in either case) for
// any byte, ".." for any number of bytes, ending in the two bytes of the status word.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tessary::run {

using Bytes = std::vector<uint8_t>;

// The longest command and the longest answer that pcsc-lite passes (its
// MAX_BUFFER_SIZE_EXTENDED): an extended APDU with 65536 bytes each way.
inline constexpr std::size_t kMaxApduLength = 4 + 3 + 65536 + 3 + 2;

struct PatternElement {
    enum class Kind { Byte, AnyByte, AnyBytes };
    Kind kind = Kind::Byte;
    uint8_t value = 0; // for Kind::Byte
};

struct Pattern {
    std::vector<PatternElement> elements;
};

// A pattern of its own (for --expect), or the reason it is none.
struct PatternParse {
    Pattern pattern;
    std::string error; // empty when the pattern is good
};
PatternParse parsePattern(std::string_view text);

// The pattern of any answer that ends in the status word (--expect-sw): ".. 90 00" of
// "9000" or "90 00", either byte xx for any ("61xx"); the reason when the text is no status
// word.
PatternParse statusWordPattern(std::string_view text);

// Whether the whole response matches the pattern.
bool matchPattern(const Pattern& pattern, std::span<const uint8_t> response);

// "01 xx xx xx 90 00", ".. 90 00": the pattern as the program shows it.
std::string formatPattern(const Pattern& pattern);

struct ScriptCommand {
    std::size_t line = 0; // from 1
    Bytes apdu;
    std::optional<Pattern> expect;
};

// The commands of a script, or the first fault with its line number (from 1). Lines end in
// LF or CR LF; a UTF-8 byte-order mark before the first line is skipped.
struct ScriptParse {
    std::vector<ScriptCommand> commands;
    std::size_t errorLine = 0; // 0: no fault
    std::string error;
};
ScriptParse parseScript(std::string_view text);

} // namespace tessary::run
