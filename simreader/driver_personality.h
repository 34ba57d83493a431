// SPDX-License-Identifier: BSD-3-Clause
// The driver personalities a simulated reader takes on. Real readers reach Linux through
// drivers that differ in the control codes they serve, the features they advertise and
// where they send a command's bytes, while the reader's firmware behind them is the same.
// A personality decides only that routing; the reader's commands and the memory cards'
// escape frames are carried out as before whichever way they came.
#pragma once

#include "apdu.h"
#include "ifd.h"

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace simreader {

// The reader's command set by control code (the same commands as class FF APDUs).
inline constexpr DWORD kReaderControlCode = SCARD_CTL_CODE(3500);
// The escape channel to a memory card in the slot.
inline constexpr DWORD kEscapeControlCode = SCARD_CTL_CODE(2049);
// The PC/SC part 10 feature request: which control code serves which feature.
inline constexpr DWORD kFeatureRequestCode = CM_IOCTL_GET_FEATURE_REQUEST;
// The generic CCID driver's escape to the reader's firmware.
inline constexpr DWORD kCcidEscapeCode = SCARD_CTL_CODE(1);
// Where the generic CCID driver answers the TLV properties: its class-2 codes sit 0x330000
// above the feature's own number.
inline constexpr DWORD kCcidTlvPropertiesCode =
    SCARD_CTL_CODE(0x330000 + FEATURE_GET_TLV_PROPERTIES);

enum class Personality {
    Native,     // the reader's own driver: reader commands on 3500, memory-card frames on 2049
    Ccid,       // the generic CCID driver with its escape command off
    CcidEscape, // the generic CCID driver with its escape command on
    Vendor,     // a vendor driver: every firmware command on 3500
};

std::optional<Personality> parsePersonality(std::string_view name);
std::string_view personalityName(Personality personality);
std::string personalityNames(); // for messages: "native, ccid, ..."

// A reader's driver file: the personality's name on a line of its own.
std::optional<Personality> parseDriverFile(std::string_view text, std::string& error);
std::string formatDriverFile(Personality personality);

// Where a control call goes under a personality.
enum class ControlRoute {
    NotSupported,  // a code the driver does not serve
    Refused,       // served, but the driver does not pass these bytes on
    Features,      // the feature list
    ReaderCommand, // the reader's own command set
    MemoryCard,    // an escape frame for the memory card in the slot
};
ControlRoute routeControl(Personality personality, DWORD code, std::span<const uint8_t> command);

// The answer to the feature request: records of tag, length 4 and the big-endian code.
Bytes featureList(Personality personality);

} // namespace simreader
