// The steps the commands share: the card connected, its type told, an image file read, the
// PSC given checked against the card, and the reset that ends a verification.
#pragma once

#include "card_session.h"
#include "options.h"
#include "reader_link.h"

#include <QString>

#include <winscard.h>

#include <optional>
#include <string>

namespace tessary::memcard {

using tessary::tools::ReaderLink;

// Binds the service and connects to the card in the reader -r means, exclusively, so that
// no other program's frames come between ours; false with the reason in `failure`.
bool connectCard(ReaderLink& link, const Options& o, std::string& failure);

// The card type for a command, or nothing with the status to exit with in `exit`.
// `assumed`, when given, tells whether the type was taken for want of a word on it.
std::optional<CardType> cardType(const ReaderLink& link, const TypeRequest& request, int& exit,
                                 bool* assumed = nullptr);

struct Loaded {
    std::optional<CardImage> image;
    std::string error;
};
// The image in the file, or the error naming the file and its line.
Loaded loadImage(const QString& path);

// The PSC given fits the card: kDone when it does, else the status to exit with.
int checkPsc(const Options& o, CardType type);

// A reset ends a verification: the PSC is presented to a card that no earlier session left
// unlocked (an unlocked card takes any PSC), and a card unlocked here is locked again when
// the run is done.
LONG resetCard(SCARDHANDLE card);

class LockAgainAtEnd {
public:
    explicit LockAgainAtEnd(SCARDHANDLE card) : m_card(card) {}
    ~LockAgainAtEnd() { resetCard(m_card); }
    LockAgainAtEnd(const LockAgainAtEnd&) = delete;
    LockAgainAtEnd& operator=(const LockAgainAtEnd&) = delete;

private:
    SCARDHANDLE m_card;
};

} // namespace tessary::memcard
