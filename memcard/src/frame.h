// SPDX-License-Identifier: BSD-3-Clause
// The escape frame and the one path every frame takes to the reader.
#pragma once

#include "cordrel.h"

#include <array>
#include <cstdint>
#include <span>

namespace cordrel {

using Frame = std::array<uint8_t, CORDREL_FRAME_SIZE>;

// A frame for one card command; returnCount is the number of bytes the reader is to
// return (256 goes out as 00 01).
Frame makeFrame(uint8_t command, uint8_t address, uint8_t data, uint32_t returnCount = 0);

// The page bits of an SLE4428/SLE4418 address: bits 9..8 into bits 7..6 of the command.
inline uint8_t withPage(uint8_t command, uint32_t address) {
    return static_cast<uint8_t>(command | ((address >> 8) << 6));
}

// Sends one frame through Kal_Mem_Direct_Control into a scratch area of the full reply
// capacity and copies what fits into `into`. `received` is what the reader returned.
LONG sendFrame(SCARDHANDLE card, const Frame& frame, std::span<uint8_t> into, uint32_t& received);
LONG sendFrame(SCARDHANDLE card, const Frame& frame);

// address + length within size, without overflow.
inline bool fits(uint32_t address, uint32_t length, uint32_t size) {
    return address < size && static_cast<uint64_t>(address) + length <= size;
}

} // namespace cordrel
