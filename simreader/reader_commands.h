// SPDX-License-Identifier: BSD-3-Clause
// The reader's own command set: commands of class FF that the reader executes itself,
// whether they come as an APDU through SCardTransmit or through SCardControl with the
// reader's control code. Today the set is the LED and buzzer command.
#pragma once

#include "apdu.h"

#include <array>
#include <cstdint>
#include <span>

namespace simreader {

constexpr uint8_t kReaderClass = 0xFF;
constexpr std::size_t kLedBuzzerCommandLength = 17;

// The last LED and buzzer command the reader carried out; all zero until the first one.
struct LedBuzzerState {
    uint8_t control = 0; // bits 7..4 LEDs 4..1, bit 3 blinking, bit 2 buzzer, bits 1..0 tone
    uint8_t onTime = 0;  // units of 20 ms
    uint8_t offTime = 0; // units of 20 ms
    uint8_t repetitions = 0;

    // LED 1 (blue) .. LED 4 (red).
    bool led(int number) const { return (control >> (3 + number)) & 1u; }
    bool blinking() const { return control & 0x08u; }
    bool buzzer() const { return control & 0x04u; }
    int tone() const { return control & 0x03; } // 0 is "Tone 1"

    bool operator==(const LedBuzzerState&) const = default;
};

// Carries out one command of the reader's set and returns the reader's answer (a status
// word, 90 00 on success). A malformed command changes nothing and gets an error status.
Bytes runReaderCommand(std::span<const uint8_t> command, LedBuzzerState& state);

} // namespace simreader
