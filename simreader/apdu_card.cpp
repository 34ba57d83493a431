// SPDX-License-Identifier: BSD-3-Clause
#include "apdu_card.h"

#include <PCSC/pcsclite.h>

#include <algorithm>
#include <sys/random.h>
#include <utility>

namespace simreader {
namespace {

constexpr uint8_t kInsSelect = 0xA4;
constexpr uint8_t kInsReadBinary = 0xB0;
constexpr uint8_t kInsGetChallenge = 0x84;
constexpr uint8_t kInsGetResponse = 0xC0;
// Our own class and its two commands.
constexpr uint8_t kOwnClass = 0x80;
constexpr uint8_t kInsGetIdentity = 0x10;
constexpr uint8_t kInsReadIdentity = 0x12;

constexpr uint16_t kMasterFile = 0x3F00;

// Historical bytes shared by both kinds of processor card: a category indicator followed
// by card service data and capabilities in compact TLV.
constexpr std::array<uint8_t, 8> kHistorical{0x80, 0x31, 0xC0, 0x73, 0xC8, 0x21, 0x10, 0x01};

// TCK closes an ATR that names a protocol other than T=0: the XOR of every byte from T0 on.
template <std::size_t N>
constexpr std::array<uint8_t, N + kHistorical.size() + 1>
withHistoricalAndTck(const std::array<uint8_t, N>& head) {
    std::array<uint8_t, N + kHistorical.size() + 1> atr{};
    std::copy(head.begin(), head.end(), atr.begin());
    std::copy(kHistorical.begin(), kHistorical.end(), atr.begin() + N);
    uint8_t tck = 0;
    for (std::size_t i = 1; i + 1 < atr.size(); ++i) {
        tck = static_cast<uint8_t>(tck ^ atr[i]);
    }
    atr.back() = tck;
    return atr;
}

// Contact card: TS 3B; T0 88 (TD1 follows, 8 historical bytes); TD1 80 (TD2 follows, T=0);
// TD2 31 (TA3 and TB3 follow, T=1); TA3 FE (IFSC 254); TB3 45 (BWI 4, CWI 5).
constexpr auto kContactAtr =
    withHistoricalAndTck(std::array<uint8_t, 6>{0x3B, 0x88, 0x80, 0x31, 0xFE, 0x45});
// Contactless card, as PC/SC readers present an ISO 14443-4 card: TS 3B; T0 88; TD1 80;
// TD2 01 (T=1), the card's historical bytes and TCK.
constexpr auto kContactlessAtr =
    withHistoricalAndTck(std::array<uint8_t, 4>{0x3B, 0x88, 0x80, 0x01});

constexpr std::array<uint8_t, 8> kApplicationAid{0xF0, 0x4B, 0x41, 0x4C, 0x44, 0x4F, 0x52, 0x01};
constexpr std::string_view kIdentityText = "TESSARY SIMULATED PROCESSOR CARD";
const std::span<const uint8_t> kIdentity{reinterpret_cast<const uint8_t*>(kIdentityText.data()),
                                         kIdentityText.size()};

constexpr std::array<uint8_t, 64> kApplicationData = [] {
    std::array<uint8_t, 64> data{};
    for (std::size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<uint8_t>(i);
    }
    return data;
}();

const std::array<CardFile, 4> kFiles{{
    {kMasterFile, true, 0, {}, {}},
    {0x2F02, false, 2, {}, kIdentity},
    {0x5000, true, 0, kApplicationAid, {}},
    {0x5001, false, 1, {}, kApplicationData},
}};

const CardFile* findByFid(uint16_t fid) {
    auto it = std::find_if(kFiles.begin(), kFiles.end(), [fid](auto& f) { return f.fid == fid; });
    return it == kFiles.end() ? nullptr : &*it;
}

const CardFile* findBySfi(uint8_t sfi) {
    auto it = std::find_if(kFiles.begin(), kFiles.end(),
                           [sfi](auto& f) { return !f.dedicated && f.sfi == sfi; });
    return it == kFiles.end() ? nullptr : &*it;
}

// A DF name selects the application whose AID it equals or right-truncates (at least the
// five bytes of the registered application provider identifier).
const CardFile* findByName(std::span<const uint8_t> name) {
    for (auto& f : kFiles) {
        if (!f.aid.empty() && name.size() >= 5 && name.size() <= f.aid.size() &&
            std::equal(name.begin(), name.end(), f.aid.begin())) {
            return &f;
        }
    }
    return nullptr;
}

} // namespace

std::span<const CardFile> apduCardFiles() {
    return kFiles;
}
std::span<const uint8_t> apduApplicationAid() {
    return kApplicationAid;
}

ApduCard::ApduCard(bool contactless) : m_contactless(contactless) {}

std::span<const uint8_t> ApduCard::atr() const {
    if (m_contactless) {
        return kContactlessAtr;
    }
    return kContactAtr;
}

uint32_t ApduCard::protocols() const {
    return m_contactless ? SCARD_PROTOCOL_T1 : (SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1);
}

void ApduCard::powerCycle() {
    m_currentEf = nullptr;
    m_pending = {};
}

Bytes ApduCard::transmit(std::span<const uint8_t> bytes) {
    // Data kept for GET RESPONSE is for the command right after the one that left it.
    const std::span<const uint8_t> pending = std::exchange(m_pending, {});
    if (bytes.size() < 4) {
        return response(sw::kWrongLength);
    }
    if (bytes[0] != 0x00 && bytes[0] != kOwnClass) {
        return response(sw::kUnknownCla);
    }
    const uint8_t ins = bytes[1];
    const bool known = bytes[0] == kOwnClass
                           ? ins == kInsGetIdentity || ins == kInsReadIdentity
                           : ins == kInsSelect || ins == kInsReadBinary ||
                                 ins == kInsGetChallenge || ins == kInsGetResponse;
    if (!known) {
        return response(sw::kUnknownIns);
    }
    const auto apdu = parseApdu(bytes);
    if (!apdu) {
        return response(sw::kWrongLength);
    }
    switch (ins) {
    case kInsSelect:
        return select(*apdu);
    case kInsReadBinary:
        return readBinary(*apdu);
    case kInsGetChallenge:
        return getChallenge(*apdu);
    case kInsGetIdentity:
        return getIdentity(*apdu);
    case kInsReadIdentity:
        return readIdentity(*apdu);
    default:
        m_pending = pending;
        return getResponse(*apdu);
    }
}

Bytes ApduCard::select(const Apdu& apdu) {
    // P2: first occurrence, answering with FCI, FCP, FMD or nothing; we answer nothing.
    if ((apdu.p2 & ~0x0Cu) != 0) {
        return response(sw::kWrongP1P2);
    }
    const CardFile* file = nullptr;
    switch (apdu.p1) {
    case 0x00: // MF, DF or EF by file identifier; no data selects the MF
    case 0x02: // EF under the current DF
        if (apdu.data.empty() && apdu.p1 == 0x00) {
            file = findByFid(kMasterFile);
            break;
        }
        if (apdu.data.size() != 2) {
            return response(sw::kWrongLength);
        }
        file = findByFid(static_cast<uint16_t>(apdu.data[0] << 8 | apdu.data[1]));
        if (file && apdu.p1 == 0x02 && file->dedicated) {
            file = nullptr;
        }
        break;
    case 0x04: // DF by name
        file = apdu.data.empty() ? findByFid(kMasterFile) : findByName(apdu.data);
        break;
    default:
        return response(sw::kWrongP1P2);
    }
    if (!file) {
        return response(sw::kNotFound);
    }
    if (file->dedicated) {
        m_currentEf = nullptr;
    } else {
        m_currentEf = file;
    }
    return response(sw::kOk);
}

Bytes ApduCard::readBinary(const Apdu& apdu) {
    const CardFile* file = m_currentEf;
    std::size_t offset = 0;
    if (apdu.p1 & 0x80) { // P1 = 100x xxxx: short file identifier, P2 the offset
        if (apdu.p1 & 0x60) {
            return response(sw::kWrongP1P2);
        }
        file = findBySfi(apdu.p1 & 0x1F);
        if (!file) {
            return response(sw::kNotFound);
        }
        offset = apdu.p2;
    } else {
        offset = static_cast<std::size_t>(apdu.p1) << 8 | apdu.p2;
    }
    if (!file) {
        return response(sw::kNoCurrentEf);
    }
    if (!apdu.data.empty() || !apdu.hasLe) {
        return response(sw::kWrongLength);
    }
    m_currentEf = file;
    if (offset >= file->content.size()) {
        return response(sw::kOffsetOutside);
    }
    const std::size_t available = file->content.size() - offset;
    // Le = 00 reads what is there (up to 256 bytes); a longer explicit Le is told the length.
    const bool upToAll = apdu.ne == 256;
    if (apdu.ne > available && !upToAll) {
        return response(static_cast<uint16_t>(sw::kWrongLe | available));
    }
    const std::size_t count = std::min<std::size_t>(apdu.ne, available);
    return response(file->content.subspan(offset, count), sw::kOk);
}

Bytes ApduCard::getChallenge(const Apdu& apdu) {
    if (apdu.p1 != 0 || apdu.p2 != 0) {
        return response(sw::kWrongP1P2);
    }
    if (!apdu.data.empty() || !apdu.hasLe) {
        return response(sw::kWrongLength);
    }
    std::array<uint8_t, 256> random{};
    std::size_t filled = 0;
    while (filled < apdu.ne) {
        const ssize_t got = getrandom(random.data() + filled, apdu.ne - filled, 0);
        if (got <= 0) {
            break;
        }
        filled += static_cast<std::size_t>(got);
    }
    return response(std::span(random).first(apdu.ne), sw::kOk);
}

Bytes ApduCard::getIdentity(const Apdu& apdu) {
    if (apdu.p1 != 0 || apdu.p2 != 0) {
        return response(sw::kWrongP1P2);
    }
    if (!apdu.data.empty() || apdu.hasLe) {
        return response(sw::kWrongLength);
    }
    m_pending = kIdentity;
    return response(static_cast<uint16_t>(sw::kBytesRemaining | kIdentity.size()));
}

Bytes ApduCard::readIdentity(const Apdu& apdu) const {
    if (apdu.p1 != 0 || apdu.p2 != 0) {
        return response(sw::kWrongP1P2);
    }
    if (!apdu.data.empty()) {
        return response(sw::kWrongLength);
    }
    if (apdu.ne != kIdentity.size()) {
        return response(static_cast<uint16_t>(sw::kWrongLe | kIdentity.size()));
    }
    return response(kIdentity, sw::kOk);
}

// Hands out the kept data: Le bytes of it with 61 and what is left, all of it with 90 00
// when Le asks for as much or is 00, and 6C with what is there when Le asks for more.
Bytes ApduCard::getResponse(const Apdu& apdu) {
    const std::span<const uint8_t> pending = std::exchange(m_pending, {});
    if (apdu.p1 != 0 || apdu.p2 != 0) {
        return response(sw::kWrongP1P2);
    }
    if (!apdu.data.empty() || !apdu.hasLe) {
        return response(sw::kWrongLength);
    }
    if (pending.empty()) {
        return response(sw::kConditionsNotMet);
    }
    const bool upToAll = apdu.ne == 256;
    if (apdu.ne > pending.size() && !upToAll) {
        m_pending = pending;
        return response(static_cast<uint16_t>(sw::kWrongLe | pending.size()));
    }
    if (apdu.ne < pending.size()) {
        m_pending = pending.subspan(apdu.ne);
        const std::size_t left = std::min<std::size_t>(m_pending.size(), 256) & 0xFF;
        return response(pending.first(apdu.ne), static_cast<uint16_t>(sw::kBytesRemaining | left));
    }
    return response(pending, sw::kOk);
}

} // namespace simreader
