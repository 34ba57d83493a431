// SPDX-License-Identifier: BSD-3-Clause
#include "cards.h"

#include "apdu_card.h"
#include "memory_cards.h"

#include <array>
#include <charconv>

namespace simreader {
namespace {

struct TypeName {
    CardType type;
    std::string_view name;
};

constexpr std::array<TypeName, 6> kTypeNames{{
    {CardType::Apdu, "apdu"},
    {CardType::ApduContactless, "apdu-cl"},
    {CardType::Sle4442, "sle4442"},
    {CardType::Sle4432, "sle4432"},
    {CardType::Sle4428, "sle4428"},
    {CardType::Sle4418, "sle4418"},
}};

// Decimal digits only: no sign, no blanks, nothing after.
std::optional<uint64_t> parseCount(const std::string& text) {
    uint64_t value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc{} || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

} // namespace

std::optional<CardType> parseCardType(std::string_view name) {
    for (auto& entry : kTypeNames) {
        if (entry.name == name) {
            return entry.type;
        }
    }
    return std::nullopt;
}

std::string_view cardTypeName(CardType type) {
    for (auto& entry : kTypeNames) {
        if (entry.type == type) {
            return entry.name;
        }
    }
    return "unknown";
}

std::string cardTypeNames() {
    std::string names;
    for (auto& entry : kTypeNames) {
        names += names.empty() ? "" : ", ";
        names += entry.name;
    }
    return names;
}

std::optional<SlotOptions> takeSlotOptions(KeyValues& options, std::string& error) {
    SlotOptions slot;
    if (const auto it = options.find("pull-after"); it != options.end()) {
        const auto frames = parseCount(it->second);
        if (!frames) {
            error = "pull-after= takes a number of frames";
            return std::nullopt;
        }
        slot.pullAfter = *frames;
        options.erase(it);
    }
    if (const auto it = options.find("latency"); it != options.end()) {
        const auto ms = parseCount(it->second);
        if (!ms || *ms > static_cast<uint64_t>(kMaxLatency.count())) {
            error = "latency= takes 0 to " + std::to_string(kMaxLatency.count()) + " milliseconds";
            return std::nullopt;
        }
        slot.latency = std::chrono::milliseconds(*ms);
        options.erase(it);
    }
    return slot;
}

std::unique_ptr<Card> makeCard(CardType type, const KeyValues& options, std::string& error) {
    const bool apdu = type == CardType::Apdu || type == CardType::ApduContactless;
    if (apdu && !options.empty()) {
        error = "card type " + std::string(cardTypeName(type)) + " takes no settings";
        return nullptr;
    }
    std::optional<MemorySettings> memory;
    switch (type) {
    case CardType::Apdu:
        return std::make_unique<ApduCard>(false);
    case CardType::ApduContactless:
        return std::make_unique<ApduCard>(true);
    case CardType::Sle4442:
    case CardType::Sle4432:
        memory = parseMemorySettings(options, 256, 32, type == CardType::Sle4442 ? 3 : 0, error);
        return memory ? std::make_unique<Sle4442Card>(type == CardType::Sle4442, *memory) : nullptr;
    case CardType::Sle4428:
    case CardType::Sle4418:
        memory = parseMemorySettings(options, 1024, 1024, type == CardType::Sle4428 ? 2 : 0, error);
        return memory ? std::make_unique<Sle4428Card>(type == CardType::Sle4428, *memory) : nullptr;
    }
    error = "unknown card type";
    return nullptr;
}

} // namespace simreader
