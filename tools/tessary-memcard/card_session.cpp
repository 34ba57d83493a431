// SPDX-License-Identifier: BSD-3-Clause
#include "card_session.h"

#include "atr.h"
#include "cordrel.h"
#include "hex_text.h"

#include <algorithm>
#include <array>

namespace tessary::memcard {
namespace {

CardStatus failed(LONG code, std::string step) {
    return {code, std::move(step), ""};
}

CardStatus shortRead(const char* what, uint32_t got, uint32_t wanted) {
    return {SCARD_F_COMM_ERROR, what,
            "the card returned " + std::to_string(got) + " of " + std::to_string(wanted) +
                " bytes"};
}

std::string article(CardType type) {
    return std::string("an ") + traits(type).name;
}

std::string familyName(AtrFamily family) {
    return family == AtrFamily::Sle4442 ? "an SLE4442 or SLE4432" : "an SLE4428 or SLE4418";
}

AtrFamily familyOf(CardType type) {
    return traits(type).sle4442Family ? AtrFamily::Sle4442 : AtrFamily::Sle4428;
}

// Only the SLE4442 answers a read of the security memory; the reader reports the
// SLE4432's silence as a transaction or communication failure.
CardStatus hasSecurityMemory(SCARDHANDLE card, bool& has) {
    uint8_t counter = 0;
    const LONG rv = SLE4442_Read_Security_Memory(card, &counter);
    has = rv == SCARD_S_SUCCESS;
    if (rv == SCARD_S_SUCCESS || rv == SCARD_E_NOT_TRANSACTED || rv == SCARD_F_COMM_ERROR) {
        return {};
    }
    return failed(rv, "asking the card for its security memory");
}

} // namespace

std::optional<AtrFamily> atrFamily(std::span<const uint8_t> atr) {
    const auto chip = tessary::memoryCardChip(atr);
    if (!chip) {
        return std::nullopt;
    }
    return *chip == tessary::MemoryChip::Sle4442 ? AtrFamily::Sle4442 : AtrFamily::Sle4428;
}

TypeResolution resolveCardType(SCARDHANDLE card, std::span<const uint8_t> atr,
                               const TypeRequest& request) {
    TypeResolution result;
    auto family = atrFamily(atr);
    if (!family) {
        if (!request.option) {
            result.error = "the card's ATR (" + tessary::formatHex(atr) +
                           ") is not that of a memory card this tool knows; if it is one, "
                           "name its type with --card";
            return result;
        }
        family = familyOf(*request.option);
    } else if (request.option && familyOf(*request.option) != *family) {
        result.error = "wrong card type: the card's ATR (" + tessary::formatHex(atr) +
                       ") is that of " + familyName(*family) + ", not of " +
                       article(*request.option);
        return result;
    }

    CardType type = CardType::Sle4428;
    if (*family == AtrFamily::Sle4442) {
        bool security = false;
        result.status = hasSecurityMemory(card, security);
        if (!result.status.ok()) {
            return result;
        }
        type = security ? CardType::Sle4442 : CardType::Sle4432;
        if (request.option && *request.option != type) {
            result.error = std::string("wrong card type: the card ") +
                           (security ? "has" : "has no") + " security memory, so it is " +
                           article(type) + ", not " + article(*request.option);
            return result;
        }
    } else if (request.option) {
        type = *request.option;
    } else if (request.image && familyOf(*request.image) == AtrFamily::Sle4428) {
        type = *request.image;
    } else {
        type = CardType::Sle4428;
        result.assumed = true;
    }
    if (request.image && *request.image != type) {
        result.error = "wrong card type: the image is of " + article(*request.image) +
                       ", the card is " + (result.assumed ? familyName(*family) : article(type));
        return result;
    }
    result.type = type;
    return result;
}

CardStatus readCard(SCARDHANDLE card, CardType type, CardImage& image) {
    image = blankImage(type);
    const auto size = static_cast<uint32_t>(image.data.size());
    if (!traits(type).sle4442Family) {
        std::vector<uint8_t> flags(size, 0);
        uint32_t count = size;
        const LONG rv =
            SLE4428_Read_Data_With_Protect_Bit(card, image.data.data(), flags.data(), 0, &count);
        if (rv != SCARD_S_SUCCESS) {
            return failed(rv, "reading the memory with its protect bits");
        }
        if (count != size) {
            return shortRead("reading the memory with its protect bits", count, size);
        }
        for (uint32_t a = 0; a < size; ++a) {
            image.protect[a] = flags[a] == 0; // the reader gives 0 for a protected byte
        }
        // A verified SLE4428 shows its PSC. An image never holds it: it is not for a file
        // in the clear, and reads before and after verification compare equal.
        if (type == CardType::Sle4428) {
            std::fill(image.data.begin() + kSle4428CounterAddress + 1, image.data.end(), 0x00);
        }
        return {};
    }

    uint32_t count = size;
    LONG rv = SLE4442_Read_Main_Memory(card, image.data.data(), 0, &count);
    if (rv != SCARD_S_SUCCESS) {
        return failed(rv, "reading the main memory");
    }
    if (count != size) {
        return shortRead("reading the main memory", count, size);
    }
    // The read does not say how many bytes came: what does not come counts as protected.
    std::array<uint8_t, 4> bits{};
    rv = SLE4442_Read_Protection_Memory(card, bits.data());
    if (rv != SCARD_S_SUCCESS) {
        return failed(rv, "reading the protection memory");
    }
    for (uint32_t a = 0; a < traits(type).protectable; ++a) {
        image.protect[a] = ((bits[a >> 3] >> (a & 7)) & 1) == 0; // a set bit: writable
    }
    if (type == CardType::Sle4442) {
        uint8_t counter = 0;
        const CardStatus status = readCounter(card, type, counter);
        if (!status.ok()) {
            return status;
        }
        image.counter = counter;
    }
    return {};
}

CardStatus readCounter(SCARDHANDLE card, CardType type, uint8_t& counter) {
    // A counter that does not come reads 0: no attempt left, so nothing is tried.
    counter = 0;
    if (type == CardType::Sle4442) {
        const LONG rv = SLE4442_Read_Security_Memory(card, &counter);
        return rv == SCARD_S_SUCCESS ? CardStatus{} : failed(rv, "reading the error counter");
    }
    uint32_t count = 1;
    const LONG rv =
        SLE4428_Read_Data_Without_Protect_Bit(card, &counter, kSle4428CounterAddress, &count);
    if (rv != SCARD_S_SUCCESS) {
        return failed(rv, "reading the error counter");
    }
    return count == 1 ? CardStatus{} : shortRead("reading the error counter", count, 1);
}

std::optional<PscOutcome> PscGuard::check(SCARDHANDLE card, CardType type, bool mayUseLastAttempt) {
    PscOutcome outcome;
    m_attemptsBefore = -1;
    if (m_tried) {
        outcome.verdict = PscVerdict::AlreadyTried;
        return outcome;
    }
    uint8_t counter = 0;
    outcome.status = readCounter(card, type, counter);
    if (!outcome.status.ok()) {
        return outcome;
    }
    outcome.attemptsBefore = attemptsLeft(type, counter);
    if (outcome.attemptsBefore == 0) {
        outcome.verdict = PscVerdict::Locked;
        return outcome;
    }
    if (outcome.attemptsBefore == 1 && !mayUseLastAttempt) {
        outcome.verdict = PscVerdict::LastAttemptKept;
        return outcome;
    }
    m_attemptsBefore = outcome.attemptsBefore;
    return std::nullopt;
}

PscOutcome PscGuard::present(SCARDHANDLE card, CardType type, std::span<const uint8_t> psc) {
    PscOutcome outcome;
    if (m_tried) {
        outcome.verdict = PscVerdict::AlreadyTried;
        return outcome;
    }
    if (m_attemptsBefore < 1) {
        outcome.status = failed(SCARD_E_INVALID_PARAMETER, "presenting a PSC unchecked");
        return outcome;
    }
    if (psc.size() != traits(type).pscBytes || psc.empty()) {
        outcome.status = failed(SCARD_E_INVALID_PARAMETER, "checking the PSC's length");
        return outcome;
    }
    outcome.attemptsBefore = m_attemptsBefore;
    m_tried = true; // from here on the attempt may be spent, whatever comes back
    const LONG rv = type == CardType::Sle4442
                        ? SLE4442_Compare_Verification_Data(card, psc[0], psc[1], psc[2])
                        : SLE4428_PSC_Verification(card, psc[0], psc[1]);
    if (rv != SCARD_S_SUCCESS && rv != SCARD_W_WRONG_CHV) {
        outcome.status = failed(rv, "verifying the PSC");
        return outcome;
    }
    outcome.verdict = rv == SCARD_S_SUCCESS ? PscVerdict::Accepted : PscVerdict::Wrong;
    uint8_t counter = 0;
    if (readCounter(card, type, counter).ok()) {
        outcome.attemptsAfter = attemptsLeft(type, counter);
    }
    return outcome;
}

PscOutcome PscGuard::verify(SCARDHANDLE card, CardType type, std::span<const uint8_t> psc,
                            bool mayUseLastAttempt) {
    if (!m_tried && (psc.size() != traits(type).pscBytes || psc.empty())) {
        PscOutcome outcome;
        outcome.status = failed(SCARD_E_INVALID_PARAMETER, "checking the PSC's length");
        return outcome;
    }
    if (auto refused = check(card, type, mayUseLastAttempt)) {
        return *refused;
    }
    return present(card, type, psc);
}

WriteReport writePlan(SCARDHANDLE card, CardType type, const WritePlan& plan,
                      const std::function<bool()>& stop) {
    WriteReport report;
    const std::vector<uint32_t> addresses = plan.addresses();
    if (!plan.refused.empty()) { // protected bytes differ: nothing of the plan is written
        report.status = failed(SCARD_E_INVALID_PARAMETER, "writing over protected bytes");
        report.unconfirmed = addresses;
        return report;
    }
    std::vector<uint8_t> bytes;
    for (const auto& run : plan.runs) {
        bytes.insert(bytes.end(), run.bytes.begin(), run.bytes.end());
    }
    // The card takes one byte per frame whatever the call, so a call per byte costs no
    // frame more and leaves no doubt about which bytes a failure left unwritten.
    for (std::size_t i = 0; i < addresses.size(); ++i) {
        const uint32_t a = addresses[i];
        if (stop && stop()) { // between two frames: no byte is left half written
            report.stopped = true;
            report.unconfirmed.assign(addresses.begin() + static_cast<long>(i), addresses.end());
            return report;
        }
        const LONG rv = traits(type).sle4442Family
                            ? SLE4442_Update_Main_Memory(card, &bytes[i], a, 1)
                            : SLE4428_Write_Data_Without_Protect_Bit(card, &bytes[i], a, 1);
        ++report.frames;
        if (rv != SCARD_S_SUCCESS) {
            report.status = failed(rv, "writing the byte at " + formatAddress(a));
            report.unconfirmed.assign(addresses.begin() + static_cast<long>(i), addresses.end());
            return report;
        }
        report.written.push_back(a);
    }
    return report;
}

} // namespace tessary::memcard
