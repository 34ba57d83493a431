// SPDX-License-Identifier: BSD-3-Clause
#include "driver_personality.h"

#include "memory_cards.h"
#include "reader_commands.h"

#include <algorithm>
#include <array>

namespace simreader {
namespace {

struct PersonalityName {
    Personality personality;
    std::string_view name;
};

constexpr std::array<PersonalityName, 4> kNames{{
    {Personality::Native, "native"},
    {Personality::Ccid, "ccid"},
    {Personality::CcidEscape, "ccid-escape"},
    {Personality::Vendor, "vendor"},
}};

// A refusal is shown as one status line; longer or stranger file content is not quoted.
constexpr std::size_t kMaxQuoted = 32;

// A code that carries every firmware command tells them apart by their bytes, as the
// firmware does: a memory-card frame is a whole XfrBlock message, a reader command is of
// class FF, and the firmware takes nothing else.
ControlRoute byBytes(std::span<const uint8_t> command) {
    if (command.size() == kEscapeFrameSize && command[0] == kXfrBlockMessage) {
        return ControlRoute::MemoryCard;
    }
    if (!command.empty() && command[0] == kReaderClass) {
        return ControlRoute::ReaderCommand;
    }
    return ControlRoute::Refused;
}

void addFeature(Bytes& list, int tag, DWORD code) {
    list.insert(list.end(), {static_cast<uint8_t>(tag), 4, static_cast<uint8_t>(code >> 24),
                             static_cast<uint8_t>(code >> 16), static_cast<uint8_t>(code >> 8),
                             static_cast<uint8_t>(code)});
}

} // namespace

std::optional<Personality> parsePersonality(std::string_view name) {
    for (const auto& entry : kNames) {
        if (entry.name == name) {
            return entry.personality;
        }
    }
    return std::nullopt;
}

std::string_view personalityName(Personality personality) {
    for (const auto& entry : kNames) {
        if (entry.personality == personality) {
            return entry.name;
        }
    }
    return "unknown";
}

std::string personalityNames() {
    std::string names;
    for (const auto& entry : kNames) {
        names += names.empty() ? "" : ", ";
        names += entry.name;
    }
    return names;
}

std::optional<Personality> parseDriverFile(std::string_view text, std::string& error) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
        text.remove_suffix(1);
    }
    const auto personality = parsePersonality(text);
    if (!personality) {
        const bool quotable =
            !text.empty() && text.size() <= kMaxQuoted &&
            std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c < 0x7F; });
        error = "the driver file names no personality";
        if (quotable) {
            error += " ('" + std::string(text) + "')";
        }
        error += "; personalities: " + personalityNames();
    }
    return personality;
}

std::string formatDriverFile(Personality personality) {
    return std::string(personalityName(personality)) + "\n";
}

ControlRoute routeControl(Personality personality, DWORD code, std::span<const uint8_t> command) {
    switch (personality) {
    case Personality::Native:
        if (code == kReaderControlCode) {
            return ControlRoute::ReaderCommand;
        }
        if (code == kEscapeControlCode) {
            return ControlRoute::MemoryCard;
        }
        break;
    case Personality::Ccid:
    case Personality::CcidEscape:
        if (code == kFeatureRequestCode) {
            return ControlRoute::Features;
        }
        if (code == kCcidEscapeCode) {
            // With its escape off the driver still owns the code, and fails the exchange.
            return personality == Personality::CcidEscape ? byBytes(command)
                                                          : ControlRoute::Refused;
        }
        break;
    case Personality::Vendor:
        if (code == kFeatureRequestCode) {
            return ControlRoute::Features;
        }
        if (code == kReaderControlCode) {
            return byBytes(command);
        }
        break;
    }
    return ControlRoute::NotSupported;
}

Bytes featureList(Personality personality) {
    Bytes list;
    switch (personality) {
    case Personality::Native:
        break;
    case Personality::Ccid:
        addFeature(list, FEATURE_GET_TLV_PROPERTIES, kCcidTlvPropertiesCode);
        break;
    case Personality::CcidEscape:
        addFeature(list, FEATURE_GET_TLV_PROPERTIES, kCcidTlvPropertiesCode);
        addFeature(list, FEATURE_CCID_ESC_COMMAND, kCcidEscapeCode);
        break;
    case Personality::Vendor:
        addFeature(list, FEATURE_CCID_ESC_COMMAND, kReaderControlCode);
        break;
    }
    return list;
}

} // namespace simreader
