// SPDX-License-Identifier: BSD-3-Clause
// What a reader's driver offers beyond APDUs, as the PC/SC part 10 feature request tells
// it, and the one rule by which every reader command and memory-card frame finds a code the
// driver takes.
//
// A driver that knows neither of our control codes (the generic CCID driver knows only its
// own escape code, SCARD_CTL_CODE(1), and that only when its administrator enabled it)
// refuses them with SCARD_E_UNSUPPORTED_FEATURE before anything reaches the reader. Only
// then is it safe to send the same bytes again: any other failure may come after the
// reader ran the command, and a second PSC compare would spend another attempt of the card.
#pragma once

#include <reader.h>
#include <winscard.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace pcscfeatures {

// The reader's own commands (its LEDs and buzzer among them), and the memory-card frames.
inline constexpr DWORD kReaderControlCode = SCARD_CTL_CODE(3500);
inline constexpr DWORD kMemoryCardFrameCode = SCARD_CTL_CODE(2049);
inline constexpr DWORD kFeatureRequestCode = CM_IOCTL_GET_FEATURE_REQUEST;
// The room a feature reply gets: 42 records, more than any driver lists.
inline constexpr std::size_t kFeatureReplyRoom = 256;
// tag, length (4), the control code big-endian
inline constexpr std::size_t kFeatureRecordSize = 6;

struct Feature {
    uint8_t tag = 0;
    uint8_t length = 0; // 4 in every well-formed record
    DWORD code = 0;
};

// The records of a feature reply in order; nothing when the reply is not a whole number of
// records, which then counts as no reply at all.
std::optional<std::vector<Feature>> parseFeatures(std::span<const uint8_t> reply);

// The escape command's control code (tag FEATURE_CCID_ESC_COMMAND, length 4) that a reply
// advertises. Allocates nothing: the memory-card library asks it on its frame path.
std::optional<DWORD> advertisedEscapeCode(std::span<const uint8_t> reply);

// "escape command", "PIN verify", ...; "feature 0x2A" for a tag we have no name for.
std::string featureName(uint8_t tag);

struct ControlOutcome {
    LONG result = SCARD_S_SUCCESS;
    DWORD code = 0;        // the code of the call whose result this is
    bool noEscape = false; // our code was refused and the driver advertises no other
};

// Sends `input` with `code`; when the driver refuses that code (and only then), asks for
// its features and, when it advertises an escape code other than `code`, sends the same
// bytes again with that code. `control` is SCardControl without its card handle:
//   LONG control(DWORD code, const uint8_t* input, DWORD inputLength, uint8_t* reply,
//                DWORD replyRoom, DWORD* returned)
// `returned` is what the call that gave the result returned, 0 when it failed.
template <typename Control>
ControlOutcome controlWithEscapeFallback(Control&& control, DWORD code,
                                         std::span<const uint8_t> input, std::span<uint8_t> reply,
                                         DWORD& returned) {
    const auto send = [&](DWORD withCode) {
        returned = 0;
        const LONG rv = control(withCode, input.data(), static_cast<DWORD>(input.size()),
                                reply.data(), static_cast<DWORD>(reply.size()), &returned);
        if (rv != SCARD_S_SUCCESS) {
            returned = 0;
        }
        return rv;
    };
    ControlOutcome outcome{send(code), code, false};
    if (outcome.result != SCARD_E_UNSUPPORTED_FEATURE) {
        return outcome;
    }
    std::array<uint8_t, kFeatureReplyRoom> features{};
    DWORD listed = 0;
    const LONG asked =
        control(kFeatureRequestCode, nullptr, 0, features.data(), kFeatureReplyRoom, &listed);
    const std::size_t got =
        asked == SCARD_S_SUCCESS ? std::min<std::size_t>(listed, kFeatureReplyRoom) : 0;
    const auto escape = advertisedEscapeCode(std::span(features).first(got));
    if (!escape || *escape == code) {
        outcome.noEscape = true;
        return outcome;
    }
    return {send(*escape), *escape, false};
}

// What to tell an operator whose reader refused `code` and offers no escape command, for
// reader commands (SCARD_CTL_CODE(3500)) and memory-card frames (SCARD_CTL_CODE(2049)).
std::string noEscapeHint(DWORD code);
// The same in lines short enough for the window's logs, which do not wrap.
std::string noEscapeHintLines(DWORD code);

// When establishing a context or connecting failed: whether the service's access policy
// refused this session, as pcscd does under polkit for a session that is not local and
// active. It asks the service once more, directly (and lets go of whatever it got).
// `reader` empty asks for a context only.
bool refusedByAccessPolicy(const std::string& reader = {});
// The cause, for standard error.
std::string accessPolicyText();

// Asks the reader's driver for its features over a direct connection of its own (no card
// needed, none powered). `reply` holds what the driver answered when `result` is 0.
struct FeatureQuery {
    LONG result = SCARD_S_SUCCESS;
    std::vector<uint8_t> reply;
};
FeatureQuery queryReaderFeatures(const std::string& reader);

// One line for a reader listing: "escape command 0x42000001; properties 0x42330012", or
// "escape command: none" first when the driver advertises none.
std::string describeFeatures(std::span<const uint8_t> reply);

} // namespace pcscfeatures
