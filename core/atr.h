// SPDX-License-Identifier: BSD-3-Clause
// What an answer to reset says: in one line for a reader listing (its convention, the
// protocols it offers, its historical bytes), and which synchronous memory chip it names.
// Readers present such a card's own four bytes (protocol, data units and the chip's two
// bytes) in different dresses: bare, behind a short ISO header as historical bytes
// (3B 04 ...), or behind TB1 and TC1 as well (3B 64 00 00 ...). The four bytes are what
// identify the chip.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace tessary {

std::string describeAtr(std::span<const uint8_t> atr);

enum class MemoryChip { Sle4442, Sle4428 }; // each with its smaller sibling: SLE4432, SLE4418

std::optional<MemoryChip> memoryCardChip(std::span<const uint8_t> atr);

// "SLE4442 or SLE4432" / "SLE4428 or SLE4418"
const char* memoryChipName(MemoryChip chip);

} // namespace tessary
