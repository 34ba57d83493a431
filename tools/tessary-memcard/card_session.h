// SPDX-License-Identifier: BSD-3-Clause
// The card itself, over the card handle of an open connection and the memory-card
// library: telling its type, reading it whole, the guarded PSC verification, and
// writing a plan byte by byte so that a failure tells exactly what was written.
#pragma once

#include "card_image.h"
#include "write_plan.h"

#include <winscard.h>

#include <functional>
#include <optional>
#include <span>
#include <string>

namespace tessary::memcard {

// A PC/SC result with what was being done; code 0 is success.
struct CardStatus {
    LONG code = SCARD_S_SUCCESS;
    std::string step;   // "reading the main memory"
    std::string detail; // what went wrong, where the result code does not say it
    bool ok() const { return code == SCARD_S_SUCCESS; }
};

// The two families the ATR tells apart. Within a family the answer to reset is the same:
// the SLE4442 is told from the SLE4432 by its security memory; the SLE4428 from the
// SLE4418 only by the operator or the image.
enum class AtrFamily { Sle4442, Sle4428 };
std::optional<AtrFamily> atrFamily(std::span<const uint8_t> atr);

struct TypeRequest {
    std::optional<CardType> option; // --card
    std::optional<CardType> image;  // the type of the image to write
};

struct TypeResolution {
    std::optional<CardType> type;
    bool assumed = false; // an SLE4428 for want of a word on it: an SLE4418 answers alike
    CardStatus status;    // a card failure while telling the type
    std::string error;    // the type is unknown or contradicted
};

// Needs the card only for the SLE4442 family, which it asks for its security memory.
TypeResolution resolveCardType(SCARDHANDLE card, std::span<const uint8_t> atr,
                               const TypeRequest& request);

// The whole memory with its protection, and the SLE4442's error counter.
CardStatus readCard(SCARDHANDLE card, CardType type, CardImage& image);
CardStatus readCounter(SCARDHANDLE card, CardType type, uint8_t& counter);

enum class PscVerdict {
    Accepted,
    Wrong,
    Locked,          // no attempt left: nothing was tried
    LastAttemptKept, // one attempt left and the operator did not give it up
    AlreadyTried,    // a PSC is tried once per run at most
    Failed,          // the card or reader failed: see status
};

struct PscOutcome {
    PscVerdict verdict = PscVerdict::Failed;
    int attemptsBefore = -1;
    int attemptsAfter = -1; // -1 when not known
    CardStatus status;
};

// Reads the error counter before anything is presented, keeps the last attempt unless
// told otherwise, and presents a PSC once in its lifetime. In two steps where the PSC is
// asked for only once an attempt may be spent: check, then present.
class PscGuard {
public:
    // The outcome when nothing may be tried (a locked card, the last attempt kept, a PSC
    // presented already, a counter that does not come); nothing when an attempt may be.
    std::optional<PscOutcome> check(SCARDHANDLE card, CardType type, bool mayUseLastAttempt);
    // Presents the PSC after a check that let it.
    PscOutcome present(SCARDHANDLE card, CardType type, std::span<const uint8_t> psc);
    PscOutcome verify(SCARDHANDLE card, CardType type, std::span<const uint8_t> psc,
                      bool mayUseLastAttempt);

private:
    bool m_tried = false;
    int m_attemptsBefore = -1; // set by a check that lets an attempt be spent
};

struct WriteReport {
    CardStatus status;
    std::vector<uint32_t> written; // bytes whose write frame the reader took
    // After a failure the failing byte and every byte after it; after a stop, the bytes
    // no frame was sent for.
    std::vector<uint32_t> unconfirmed;
    std::size_t frames = 0; // write frames sent
    bool stopped = false;   // `stop` said so before a frame
};

// One write frame per byte, as the card takes them, rising through each run; stops at
// the first failure, and before any frame once `stop` gives true.
WriteReport writePlan(SCARDHANDLE card, CardType type, const WritePlan& plan,
                      const std::function<bool()>& stop = {});

} // namespace tessary::memcard
