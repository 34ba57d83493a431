// SPDX-License-Identifier: BSD-3-Clause
#include "request_text.h"

#include "hex_text.h"

#include <algorithm>

namespace tessary {
namespace {

bool continuation(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// The character that starts at `at`: its first byte and up to three continuation bytes.
std::string_view characterAt(std::string_view text, std::size_t at) {
    if (at >= text.size()) {
        return {};
    }
    std::size_t end = at + 1;
    while (end < text.size() && end - at < 4 && continuation(text[end])) {
        ++end;
    }
    return text.substr(at, end - at);
}

// A hexadecimal digit's value, for a character that is one.
int digitOf(std::string_view character) {
    return character.size() == 1 ? hexDigit(character[0]) : -1;
}

} // namespace

std::size_t characterCount(std::string_view text) {
    std::size_t count = 0;
    for (std::size_t at = 0; at < text.size(); at += characterAt(text, at).size()) {
        ++count;
    }
    return count;
}

int RequestByteCount(std::string_view text) {
    return static_cast<int>((characterCount(text) + 1) / 3);
}

ParsedRequest ParseRequestBytes(std::string_view text, int count) {
    ParsedRequest parsed;
    std::size_t at = 0;
    for (int i = 0; i < count; ++i) {
        // The pair is read as an integer with a hexadecimal prefix: two digits, nothing
        // else, no sign, no prefix of its own.
        const std::string_view high = characterAt(text, at);
        const std::string_view low = characterAt(text, at + high.size());
        if (digitOf(high) < 0 || digitOf(low) < 0) {
            parsed.badPair = "0x" + std::string(high) + std::string(low);
            parsed.bytes.clear();
            return parsed;
        }
        parsed.bytes.push_back(static_cast<uint8_t>(digitOf(high) << 4 | digitOf(low)));
        at += high.size() + low.size();
        at += characterAt(text, at).size(); // the separator, whatever it is
    }
    return parsed;
}

std::string FormatDataLine(std::string_view prefix, const uint8_t* bytes, std::size_t count) {
    const std::size_t shown = bytes == nullptr ? 0 : std::min<std::size_t>(count, kMaxDataLength);
    std::string line(prefix);
    line.reserve(prefix.size() + shown * 3 + shown / 16);
    for (std::size_t i = 0; i < shown; ++i) {
        if (i > 0 && i % 16 == 0) {
            line += '\n';
        }
        appendHex(line, bytes[i]);
        line += ' ';
    }
    return line;
}

} // namespace tessary
