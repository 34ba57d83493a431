// SPDX-License-Identifier: BSD-3-Clause
// A processor card with a small ISO 7816-4 file system: the master file, a transparent
// elementary file under it, and one application with a file of its own. Two commands of
// our own class 80 hand out the card's identity text the way T=0 cards answer when the
// data does not come with the status word: GET IDENTITY (80 10 00 00) answers 61 20 and
// keeps the 32 bytes for GET RESPONSE (00 C0 00 00 Le); READ IDENTITY (80 12 00 00 20)
// answers 6C 20 to any other Le.
#pragma once

#include "cards.h"

#include <array>
#include <vector>

namespace simreader {

// The card's files, fixed for every simulated processor card.
struct CardFile {
    uint16_t fid;
    bool dedicated;                   // DF (MF or application) rather than EF
    uint8_t sfi;                      // short file identifier of an EF, 0 when none
    std::span<const uint8_t> aid;     // DF name of an application, empty otherwise
    std::span<const uint8_t> content; // bytes of a transparent EF
};

std::span<const CardFile> apduCardFiles();
std::span<const uint8_t> apduApplicationAid();

class ApduCard final : public Card {
public:
    explicit ApduCard(bool contactless);

    std::span<const uint8_t> atr() const override;
    uint32_t protocols() const override;
    void powerCycle() override;
    Bytes transmit(std::span<const uint8_t> apdu) override;

private:
    Bytes select(const Apdu& apdu);
    Bytes readBinary(const Apdu& apdu);
    Bytes getChallenge(const Apdu& apdu);
    Bytes getIdentity(const Apdu& apdu);
    Bytes readIdentity(const Apdu& apdu) const;
    Bytes getResponse(const Apdu& apdu);

    bool m_contactless;
    const CardFile* m_currentEf = nullptr;
    // What GET RESPONSE hands out next; any other command drops it, as does power.
    std::span<const uint8_t> m_pending;
};

} // namespace simreader
