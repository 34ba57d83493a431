// SPDX-License-Identifier: BSD-3-Clause
// What an ATR says, which memory chip it names in each of its dresses, and the words for
// PC/SC results and file text.
#include "atr.h"
#include "hex_text.h"
#include "pcsc_result.h"

#include <gtest/gtest.h>

#include <vector>

using namespace tessary;

namespace {

std::vector<uint8_t> bytes(std::string_view hex) {
    std::vector<uint8_t> out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 3) {
        out.push_back(*hexByte(hex[i], hex[i + 1]));
    }
    return out;
}

TEST(Atr, ConventionProtocolsHistoricalBytesAndFamily) {
    const std::pair<const char*, const char*> cases[] = {
        {"3B 88 80 31 FE 45 80 31 C0 73 C8 21 10 01 78",
         "direct convention, T=0 and T=1, historical bytes 80 31 C0 73 C8 21 10 01"},
        {"3B 88 80 01 80 31 C0 73 C8 21 10 01 F3",
         "direct convention, contactless, T=1, historical bytes 80 31 C0 73 C8 21 10 01"},
        {"3B 64 00 00 A2 13 10 91",
         "direct convention, T=0, historical bytes A2 13 10 91: SLE4442 or SLE4432 memory card"},
        {"3B 64 00 00 92 23 10 91",
         "direct convention, T=0, historical bytes 92 23 10 91: SLE4428 or SLE4418 memory card"},
        {"A2 13 10 91", "SLE4442 or SLE4432 memory card (the chip's own ATR)"},
        {"3B 04 A2 13 10 91",
         "direct convention, T=0, historical bytes A2 13 10 91: SLE4442 or SLE4432 memory card"},
        {"3B 04 92 23 10 91",
         "direct convention, T=0, historical bytes 92 23 10 91: SLE4428 or SLE4418 memory card"},
        {"3F 00", "inverse convention, T=0, no historical bytes"},
        {"3B 02 14 50", "direct convention, T=0, historical bytes 14 50"},
        {"3B 81 81 01 01 00", "direct convention, T=1, historical bytes 01"},
        {"3B 81 81 01 01 01", "direct convention, T=1, historical bytes 01, check byte wrong"},
        {"3B 88 80 31 FE 45 80", "direct convention, T=0 and T=1, cut short after 7 bytes"},
        {"3B 80", "direct convention, cut short after 2 bytes"},
        {"3B 00 00", "direct convention, T=0, no historical bytes, 1 byte after its end"},
        {"3B", "direct convention, cut short after 1 byte"},
        {"A2 13 10 92", "no ISO ATR: it starts with A2, not 3B or 3F"},
    };
    for (const auto& [atr, says] : cases) {
        EXPECT_EQ(describeAtr(bytes(atr)), says) << atr;
    }
    EXPECT_EQ(describeAtr({}), "no ATR");
}

TEST(Atr, TheChipIsKnownInEachOfItsDresses) {
    const std::pair<const char*, std::optional<MemoryChip>> cases[] = {
        {"A2 13 10 91", MemoryChip::Sle4442},
        {"3B 04 A2 13 10 91", MemoryChip::Sle4442},
        {"3B 64 00 00 92 23 10 91", MemoryChip::Sle4428},
        {"3B 04 92 23 10 91 00", std::nullopt}, // a byte too many for the short form
        {"3B 65 00 00 A2 13 10 91", std::nullopt},
        {"92 23 10 90", std::nullopt},
    };
    for (const auto& [atr, chip] : cases) {
        EXPECT_EQ(memoryCardChip(bytes(atr)), chip) << atr;
    }
}

TEST(PcscResult, NamedBesideItsValueAndFileTextMadeSafe) {
    EXPECT_EQ(pcscResultText(static_cast<int32_t>(0x80100069)), "SCARD_W_REMOVED_CARD 0x80100069");
    EXPECT_EQ(pcscResultText(0x8010001F), "SCARD_E_UNSUPPORTED_FEATURE 0x8010001F");
    EXPECT_EQ(pcscResultText(0x12345), "0x00012345");
    EXPECT_EQ(printable("A\x1B[2Jb\r\n\\"), "A\\x1B[2Jb\\x0D\\x0A\\\\");
    EXPECT_EQ(printable("Grüße"), "Grüße");
}

} // namespace
