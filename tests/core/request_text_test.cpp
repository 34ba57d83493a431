// SPDX-License-Identifier: BSD-3-Clause
// The request text's rules: positional pairs, the byte count and the data lines.
#include "request_text.h"

#include <gtest/gtest.h>

using namespace tessary;

namespace {

std::string hex(const Bytes& bytes) {
    return FormatDataLine("", bytes.data(), bytes.size());
}

TEST(RequestText, PairsArePositionalWithAnySeparator) {
    struct Case {
        std::string text;
        int count;
        std::string bytes;
    };
    const Case cases[] = {
        {"00 A4 04 00", 4, "00 A4 04 00 "},
        {"00-a4-04-00", 4, "00 A4 04 00 "},
        {"00A40400", 3, "00 40 00 "}, // A and 4 at positions 2 and 5 are separators
        {"00 A4 04 00 ", 4, "00 A4 04 00 "},
        {"00 A4 04 00 1", 4, "00 A4 04 00 "}, // a lone digit after the last group
        {"0", 0, ""},
        {"", 0, ""},
        {"00 A4\r\n", 2, "00 A4 "}, // a line break takes the places of CR and LF
        {"00,A4;04.00", 4, "00 A4 04 00 "},
        {"00\u2013A4", 2, "00 A4 "},           // an en dash pasted from a document is one position
        {"00\U0001F600A4 01", 3, "00 A4 01 "}, // so is a character of four bytes
    };
    for (const auto& c : cases) {
        EXPECT_EQ(RequestByteCount(c.text), c.count) << c.text;
        const auto parsed = ParseRequestBytes(c.text, c.count);
        EXPECT_FALSE(parsed.badPair) << c.text;
        EXPECT_EQ(hex(parsed.bytes), c.bytes) << c.text;
    }
}

TEST(RequestText, ConversionFailureNamesTheFirstBadPair) {
    const std::pair<std::string, std::string> cases[] = {
        {"0x00 0xA4", "0x0x"}, // its own prefixes
        {"0 A4 04", "0x0 "},   // one digit is never completed with a leading zero
        {"00 G1 02", "0xG1"},
        {"00 A 04", "0xA "},
        {"00\r\nA4", "0x\nA"}, // after a pair, CR is the separator and LF starts the next
        {"-1 00", "0x-1"},
        {"00 +1", "0x+1"},
        {"00 0\u2013 A4", "0x0\u2013"}, // shown whole, not as a broken byte
    };
    for (const auto& [text, pair] : cases) {
        const auto parsed = ParseRequestBytes(text, RequestByteCount(text));
        ASSERT_TRUE(parsed.badPair) << text;
        EXPECT_EQ(*parsed.badPair, pair) << text;
        EXPECT_TRUE(parsed.bytes.empty());
    }
}

TEST(DataLine, SixteenBytesARowUpTo330) {
    const Bytes sixteen(16, 0xAB);
    EXPECT_EQ(FormatDataLine("Receive Data: ", sixteen.data(), 16).find('\n'), std::string::npos);
    const Bytes seventeen(17, 0x01);
    const std::string send = FormatDataLine("Send Data: ", seventeen.data(), 17);
    EXPECT_EQ(send.substr(send.find('\n')), "\n01 "); // the 17th byte alone on row two
    EXPECT_EQ(FormatDataLine("Send Data: ", nullptr, 0), "Send Data: ");

    Bytes full(400);
    for (std::size_t i = 0; i < full.size(); ++i) {
        full[i] = static_cast<uint8_t>(i);
    }
    const std::string line = FormatDataLine("Receive Data: ", full.data(), 330);
    EXPECT_EQ(line.size(), 1024u);
    EXPECT_EQ(std::count(line.begin(), line.end(), '\n'), 20);
    EXPECT_EQ(FormatDataLine("Receive Data: ", full.data(), 400), line); // never more than 330
    EXPECT_TRUE(line.ends_with("49 "));                                  // byte 329
    EXPECT_TRUE(line.starts_with("Receive Data: 00 01 02 "));
}

} // namespace
