// SPDX-License-Identifier: BSD-3-Clause
#include "reader_commands.h"

namespace simreader {
namespace {

constexpr uint8_t kInsLedBuzzer = 0xE1;

// Offsets in the LED and buzzer command: FF E1 02 01 0C, then four groups of A0 <selector>
// <value> for the control byte, on-time, off-time and repetitions.
constexpr std::size_t kOffIns = 1;
constexpr std::size_t kOffP1 = 2;
constexpr std::size_t kOffP2 = 3;
constexpr std::size_t kOffLc = 4;
constexpr std::size_t kOffGroups = 5;
constexpr uint8_t kGroupTag = 0xA0;
constexpr std::array<uint8_t, 4> kSelectors{0xFC, 0xFD, 0xFE, 0xFF};

Bytes runLedBuzzer(std::span<const uint8_t> command, LedBuzzerState& state) {
    if (command.size() < 5) {
        return response(sw::kWrongLength);
    }
    if (command[kOffP1] != 0x02 || command[kOffP2] != 0x01) {
        return response(sw::kWrongP1P2);
    }
    if (command[kOffLc] != 0x0C || command.size() != kLedBuzzerCommandLength) {
        return response(sw::kWrongLength);
    }
    std::array<uint8_t, 4> values{};
    for (std::size_t group = 0; group < kSelectors.size(); ++group) {
        const std::size_t at = kOffGroups + 3 * group;
        if (command[at] != kGroupTag || command[at + 1] != kSelectors[group]) {
            return response(sw::kWrongData);
        }
        values[group] = command[at + 2];
    }
    state = LedBuzzerState{values[0], values[1], values[2], values[3]};
    return response(sw::kOk);
}

} // namespace

Bytes runReaderCommand(std::span<const uint8_t> command, LedBuzzerState& state) {
    if (command.size() < 4) {
        return response(sw::kWrongLength);
    }
    if (command[0] != kReaderClass) {
        return response(sw::kUnknownCla);
    }
    if (command[kOffIns] == kInsLedBuzzer) {
        return runLedBuzzer(command, state);
    }
    return response(sw::kUnknownIns);
}

} // namespace simreader
