#include "memory_card_atr.h"

#include <algorithm>
#include <array>

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

} // namespace tessary
