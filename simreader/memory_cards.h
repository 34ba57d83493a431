// SPDX-License-Identifier: BSD-3-Clause
// Synchronous memory cards as their datasheets describe them, driven through the reader's
// escape channel: 13-byte frames laid out as a CCID PC_to_RDR_XfrBlock header (6F, a
// length of 3, slot 0, sequence, BWI, the number of bytes to return) followed by the
// card's own three-byte command (command, address, data).
#pragma once

#include "cards.h"

#include <array>
#include <bitset>
#include <optional>

namespace simreader {

// Every escape frame has this size and starts with this message type (PC_to_RDR_XfrBlock),
// which tells it apart from a reader command (class FF) on a code that takes both.
inline constexpr std::size_t kEscapeFrameSize = 13;
inline constexpr uint8_t kXfrBlockMessage = 0x6F;

struct EscapeCommand {
    uint8_t command;
    uint8_t address;
    uint8_t data;
    uint16_t returnCount; // wLevelParameter
};

// Checks the frame's header and lengths; nothing when the reader must refuse it.
std::optional<EscapeCommand> parseEscapeFrame(std::span<const uint8_t> frame);

// Settings a memory card takes at insertion: memory=<hex> (initial contents from address
// 0, the rest FF), protection=<hex> (one bit per protectable address from 0, bit a & 7 of
// byte a >> 3, 1 = writable; the rest writable), psc=<hex> and counter=<number> for the
// cards with a PSC, and atr=long|short for the form of the answer to reset. A card that
// slips out is saved with all of them, so that it comes back exactly as it left.
struct MemorySettings {
    Bytes memory;
    Bytes protection;
    std::optional<Bytes> psc;
    std::optional<uint8_t> counter;
    bool shortAtr = false;
};
std::string toHex(std::span<const uint8_t> bytes);
// `protectable` is the number of addresses with a protection bit.
std::optional<MemorySettings> parseMemorySettings(const KeyValues& options, std::size_t memorySize,
                                                  std::size_t protectable, std::size_t pscSize,
                                                  std::string& error);
// Whether address `a` is writable by the protection bytes given (missing bytes: writable).
bool writableBy(const Bytes& protection, std::size_t a);

// Memory cards answer no APDU; the reader says so.
inline constexpr uint16_t kNoApduInterface = 0x6A81;

// What every memory card shares: T=0 in its ATR, and no APDU interface.
class MemoryCard : public Card {
public:
    uint32_t protocols() const override;
    Bytes transmit(std::span<const uint8_t> apdu) override;
};

// PSC verification as both PSC cards run it: clearing a bit of the error counter opens an
// attempt, one compare for each PSC byte closes it, and the card is verified when every
// byte matched. A card whose counter is already 0 has no bit left to clear, so no attempt
// opens; the last attempt, once spent, still compares, and a right PSC then unlocks the
// card. Verification lasts until power is lost.
template <std::size_t PscBytes>
class PscVerification {
public:
    bool verified() const { return m_verified; }
    void lose() {
        m_verified = false;
        m_open = false;
    }
    // After verification the counter takes what is written (FF restores every attempt);
    // before, a write can only clear bits.
    void writeCounter(uint8_t& counter, uint8_t written) {
        if (m_verified) {
            counter = written;
            return;
        }
        const auto next = static_cast<uint8_t>(counter & written);
        if (next != counter) {
            m_open = true;
            m_compared.reset();
            m_matched.reset();
        }
        counter = next;
    }
    void compare(std::size_t index, bool matches) {
        if (!m_open) {
            return;
        }
        m_compared.set(index);
        m_matched.set(index, matches);
        if (m_compared.all()) {
            m_verified = m_matched.all();
            m_open = false;
        }
    }

private:
    bool m_verified = false;
    bool m_open = false;
    std::bitset<PscBytes> m_compared;
    std::bitset<PscBytes> m_matched;
};

// SLE4442 (with PSC) and SLE4432 (without): 256 bytes, 32 protection bits for addresses
// 0..31 (1 = writable), and for the SLE4442 a security memory of a three-bit error
// counter and a three-byte PSC.
class Sle4442Card final : public MemoryCard {
public:
    Sle4442Card(bool withPsc, const MemorySettings& settings);

    std::span<const uint8_t> atr() const override;
    void powerCycle() override { m_verification.lose(); }
    std::optional<Bytes> escape(std::span<const uint8_t> frame) override;
    void describe(KeyValues& status) const override;
    KeyValues contents() const override;

private:
    bool writable() const { return !m_withPsc || m_verification.verified(); }
    // The protection memory as the card reads it out.
    Bytes protectionBytes() const;

    bool m_withPsc;
    bool m_shortAtr;
    std::array<uint8_t, 256> m_memory{};
    std::bitset<32> m_writable; // protection memory
    uint8_t m_counter = 7;
    std::array<uint8_t, 3> m_psc{0xFF, 0xFF, 0xFF};
    PscVerification<3> m_verification;
};

// SLE4428 (with PSC) and SLE4418 (without): 1024 bytes with a protect bit each; the
// SLE4428 keeps its error counter at 1021 (eight attempts, FF when full) and its
// two-byte PSC at 1022..1023.
class Sle4428Card final : public MemoryCard {
public:
    Sle4428Card(bool withPsc, const MemorySettings& settings);

    std::span<const uint8_t> atr() const override;
    void powerCycle() override { m_verification.lose(); }
    std::optional<Bytes> escape(std::span<const uint8_t> frame) override;
    void describe(KeyValues& status) const override;
    KeyValues contents() const override;

    static constexpr uint16_t kCounterAddress = 1021;
    static constexpr uint16_t kPscAddress = 1022;

private:
    bool writable() const { return !m_withPsc || m_verification.verified(); }
    uint8_t shown(std::size_t address) const;
    void write(uint16_t address, uint8_t data, bool protect);

    bool m_withPsc;
    bool m_shortAtr;
    std::array<uint8_t, 1024> m_memory{};
    std::bitset<1024> m_protected;
    PscVerification<2> m_verification;
};

} // namespace simreader
