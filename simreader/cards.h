// SPDX-License-Identifier: BSD-3-Clause
// The simulated cards that a reader's slot can hold. A card answers what a real card of
// its kind answers: processor cards take ISO 7816-4 APDUs, memory cards take the reader's
// escape frames. Volatile state (selection, verification) is lost at every power change.
#pragma once

#include "apdu.h"

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace simreader {

using KeyValues = std::map<std::string, std::string, std::less<>>;

enum class CardType {
    Apdu,            // contact processor card offering T=0 and T=1
    ApduContactless, // contactless processor card behind a contactless-style ATR
    Sle4442,         // memory cards, reached through the reader's escape channel
    Sle4432,
    Sle4428,
    Sle4418,
};

std::optional<CardType> parseCardType(std::string_view name);
std::string_view cardTypeName(CardType type);
std::string cardTypeNames(); // for messages: "apdu, apdu-cl, ..."

class Card {
public:
    virtual ~Card() = default;

    virtual std::span<const uint8_t> atr() const = 0;
    // The protocols the card runs, as SCARD_PROTOCOL_T0 / SCARD_PROTOCOL_T1 bits.
    virtual uint32_t protocols() const = 0;
    // Power went on or off: whatever the card keeps only while powered is gone.
    virtual void powerCycle() {}
    // One command APDU; the answer ends in the status word.
    virtual Bytes transmit(std::span<const uint8_t> apdu) = 0;
    // One escape frame of the reader's memory-card channel; nothing when the card has no
    // such interface.
    virtual std::optional<Bytes> escape(std::span<const uint8_t> frame) {
        (void)frame;
        return std::nullopt;
    }
    // What `simreader-ctl status` shows beside the card type.
    virtual void describe(KeyValues& status) const { (void)status; }
    // The settings that make a card with this card's contents, to put it back later.
    virtual KeyValues contents() const { return {}; }
};

// Settings of the slot rather than the card, taken out of a card's settings:
// pull-after=N makes the card slip out of the reader after N escape frames; it is then
// kept, with its contents, in the reader's card.out file for `simreader-ctl reinsert`.
// latency=MS is the card's time to answer each command or escape frame, up to a minute.
struct SlotOptions {
    std::optional<uint64_t> pullAfter;
    std::optional<std::chrono::milliseconds> latency;
};
inline constexpr std::chrono::milliseconds kMaxLatency{60000};
std::optional<SlotOptions> takeSlotOptions(KeyValues& options, std::string& error);

// Makes a fresh card of the given type. `options` are the settings given at insertion;
// a setting the card cannot take fills `error` and gives no card.
std::unique_ptr<Card> makeCard(CardType type, const KeyValues& options, std::string& error);

} // namespace simreader
