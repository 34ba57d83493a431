// SPDX-License-Identifier: BSD-3-Clause
// Short command APDUs as ISO 7816-4 lays them out, and the status words the simulated
// cards and the reader answer with.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace simreader {

using Bytes = std::vector<uint8_t>;

namespace sw {
constexpr uint16_t kOk = 0x9000;
constexpr uint16_t kBytesRemaining =
    0x6100;                             // low byte: what GET RESPONSE can fetch, 00 for 256 or more
constexpr uint16_t kEndOfFile = 0x6282; // fewer bytes than asked for
constexpr uint16_t kWrongLength = 0x6700; // Lc/Le do not fit the command
constexpr uint16_t kSecurityNotMet = 0x6982;
constexpr uint16_t kConditionsNotMet = 0x6985;
constexpr uint16_t kIncompatibleFile = 0x6981;
constexpr uint16_t kNoCurrentEf = 0x6986;
constexpr uint16_t kWrongData = 0x6A80;
constexpr uint16_t kNotFound = 0x6A82;
constexpr uint16_t kWrongP1P2 = 0x6A86;
constexpr uint16_t kOffsetOutside = 0x6B00;
constexpr uint16_t kWrongLe = 0x6C00; // low byte: the length that is available
constexpr uint16_t kUnknownIns = 0x6D00;
constexpr uint16_t kUnknownCla = 0x6E00;
} // namespace sw

// The decoded header and body of a short APDU. `ne` is the number of response bytes the
// command asks for: 0 when it has no Le field, 256 for Le = 00.
struct Apdu {
    uint8_t cla = 0;
    uint8_t ins = 0;
    uint8_t p1 = 0;
    uint8_t p2 = 0;
    std::span<const uint8_t> data;
    bool hasLe = false;
    uint32_t ne = 0;
};

// Splits a short APDU into its fields (cases 1 to 4). Returns nothing when the lengths do
// not add up, an extended length included: the card answers that with 67 00.
std::optional<Apdu> parseApdu(std::span<const uint8_t> bytes);

// A response of data followed by the status word.
Bytes response(std::span<const uint8_t> data, uint16_t status);
Bytes response(uint16_t status);

} // namespace simreader
