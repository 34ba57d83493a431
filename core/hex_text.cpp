// SPDX-License-Identifier: BSD-3-Clause
#include "hex_text.h"

namespace tessary {

int hexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

std::optional<uint8_t> hexByte(char high, char low) {
    const int h = hexDigit(high);
    const int l = hexDigit(low);
    if (h < 0 || l < 0) {
        return std::nullopt;
    }
    return static_cast<uint8_t>(h << 4 | l);
}

void appendHex(std::string& text, uint8_t byte) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    text += kDigits[byte >> 4];
    text += kDigits[byte & 0x0F];
}

std::string formatHex(std::span<const uint8_t> bytes) {
    std::string text;
    text.reserve(bytes.size() * 3);
    for (const uint8_t b : bytes) {
        if (!text.empty()) {
            text += ' ';
        }
        appendHex(text, b);
    }
    return text;
}

} // namespace tessary
