// SPDX-License-Identifier: BSD-3-Clause
#include "atr.h"

#include "hex_text.h"

#include <algorithm>
#include <array>
#include <bit>
#include <optional>
#include <vector>

namespace tessary {
namespace {

using Four = std::array<uint8_t, 4>;

constexpr Four kSle4442Chip{0xA2, 0x13, 0x10, 0x91};
constexpr Four kSle4428Chip{0x92, 0x23, 0x10, 0x91};

// TS 3B, T0 04: no interface bytes, four historical bytes.
constexpr std::array<uint8_t, 2> kShortHeader{0x3B, 0x04};
// TS 3B, T0 64: TB1 00 and TC1 00, four historical bytes.
constexpr Four kLongHeader{0x3B, 0x64, 0x00, 0x00};

std::span<const uint8_t> chipBytes(std::span<const uint8_t> atr) {
    if (atr.size() == 6 && std::ranges::equal(atr.first(2), kShortHeader)) {
        return atr.subspan(2);
    }
    if (atr.size() == 8 && std::ranges::equal(atr.first(4), kLongHeader)) {
        return atr.subspan(4);
    }
    return atr;
}

std::string memoryCardFamily(std::span<const uint8_t> atr) {
    const auto chip = memoryCardChip(atr);
    return chip ? std::string(memoryChipName(*chip)) + " memory card" : std::string();
}

// PC/SC readers present an ISO 14443-4 card behind TS 3B, T0 8n (TD1, n historical
// bytes), TD1 80 and TD2 01: the T=0 of TD1 is only a placeholder, the card runs T=1.
bool contactless(std::span<const uint8_t> atr) {
    return atr.size() >= 4 && atr[0] == 0x3B && (atr[1] & 0xF0) == 0x80 && atr[2] == 0x80 &&
           atr[3] == 0x01;
}

std::string bytesText(std::size_t count) {
    return std::to_string(count) + (count == 1 ? " byte" : " bytes");
}

std::string byteText(uint8_t value) {
    return formatHex(std::span(&value, 1));
}

} // namespace

std::optional<MemoryChip> memoryCardChip(std::span<const uint8_t> atr) {
    const auto chip = chipBytes(atr);
    if (std::ranges::equal(chip, kSle4442Chip)) {
        return MemoryChip::Sle4442;
    }
    if (std::ranges::equal(chip, kSle4428Chip)) {
        return MemoryChip::Sle4428;
    }
    return std::nullopt;
}

const char* memoryChipName(MemoryChip chip) {
    return chip == MemoryChip::Sle4442 ? "SLE4442 or SLE4432" : "SLE4428 or SLE4418";
}

std::string describeAtr(std::span<const uint8_t> atr) {
    const std::string family = memoryCardFamily(atr);
    if (atr.size() == 4 && !family.empty()) {
        return family + " (the chip's own ATR)";
    }
    if (atr.empty()) {
        return "no ATR";
    }
    if (atr[0] != 0x3B && atr[0] != 0x3F) {
        return "no ISO ATR: it starts with " + byteText(atr[0]) + ", not 3B or 3F";
    }
    std::string text = atr[0] == 0x3B ? "direct convention" : "inverse convention";
    // T0 and every TDi: the high nibble says which of TAi, TBi, TCi and TDi follow; the low
    // nibble of T0 counts the historical bytes, that of a TDi names a protocol.
    std::vector<unsigned> protocols;
    std::size_t at = 1;
    bool cutShort = false;
    bool checkByte = false;
    for (std::size_t indicator = 1; !cutShort;) {
        if (indicator >= atr.size()) {
            cutShort = true;
            break;
        }
        const uint8_t y = atr[indicator];
        const auto interfaceBytes = static_cast<std::size_t>(std::popcount(unsigned{y} >> 4));
        at = indicator + 1 + interfaceBytes;
        if (indicator > 1) {
            const unsigned protocol = y & 0x0F;
            checkByte = checkByte || protocol != 0;
            if (protocol != 15 && std::ranges::find(protocols, protocol) == protocols.end()) {
                protocols.push_back(protocol);
            }
        }
        if ((y & 0x80) == 0) {
            break;
        }
        indicator = at - 1; // TDi is the last of the interface bytes it announced
    }
    if (cutShort) {
        return text + ", cut short after " + bytesText(atr.size());
    }
    if (protocols.empty()) {
        protocols.push_back(0); // without TD1 a card runs T=0
    }
    if (contactless(atr)) {
        protocols = {1};
        text += ", contactless";
    }
    std::ranges::sort(protocols);
    text += ", ";
    for (std::size_t i = 0; i < protocols.size(); ++i) {
        text += i == 0 ? "" : i + 1 == protocols.size() ? " and " : ", ";
        text += "T=" + std::to_string(protocols[i]);
    }
    const std::size_t historical = atr.size() > 1 ? (atr[1] & 0x0Fu) : 0;
    const std::size_t end = at + historical + (checkByte ? 1 : 0);
    if (end > atr.size()) {
        return text + ", cut short after " + bytesText(atr.size());
    }
    text += historical == 0 ? ", no historical bytes"
                            : ", historical bytes " + formatHex(atr.subspan(at, historical));
    if (checkByte) {
        uint8_t sum = 0;
        for (std::size_t i = 1; i < end; ++i) {
            sum = static_cast<uint8_t>(sum ^ atr[i]);
        }
        if (sum != 0) {
            text += ", check byte wrong";
        }
    }
    if (end < atr.size()) {
        text += ", " + bytesText(atr.size() - end) + " after its end";
    }
    if (!family.empty()) {
        text += ": " + family;
    }
    return text;
}

} // namespace tessary
