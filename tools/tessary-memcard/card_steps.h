// SPDX-License-Identifier: BSD-3-Clause
// The steps the commands share: the card connected, its type told, an image file read, the
// PSC checked, asked for and presented, and the reset that ends a verification.
#pragma once

#include "card_session.h"
#include "options.h"
#include "reader_link.h"

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

// connectCard, then cardType with --card and the type an image names: the card's type, or
// nothing with the status to exit with in `exit`.
std::optional<CardType> openCard(ReaderLink& link, const Options& o,
                                 std::optional<CardType> imageType, int& exit,
                                 bool* assumed = nullptr);

struct Loaded {
    std::optional<CardImage> image;
    std::string error;
};
// The image in the file (standard input for "-"), or the error naming the file and its
// line.
Loaded loadImage(const std::string& path);

// The PSC given fits the card: kDone when it does, else the status to exit with.
int checkPsc(const Options& o, CardType type);
// Standard input is a terminal the PSC can be asked for on.
bool canAskForPsc(const Options& o);

// A reset ends a verification: the PSC is presented to a card that no earlier session left
// unlocked (an unlocked card takes any PSC), and a card unlocked here is locked again when
// the run is done.
LONG resetCard(SCARDHANDLE card);

// Resets the card when told to or at the end of its scope, once.
class CardLock {
public:
    explicit CardLock(SCARDHANDLE card) : m_card(card) {}
    ~CardLock() { lockNow(); }
    CardLock(const CardLock&) = delete;
    CardLock& operator=(const CardLock&) = delete;
    // False, with a note, when a card still in the reader may have stayed unlocked.
    bool lockNow();

private:
    SCARDHANDLE m_card;
    bool m_done = false;
};

// On a card reset first: the error counter read, the PSC asked for on the terminal where
// none was given (only once an attempt may be spent), and presented once. kDone when the
// card took it; else the status to exit with, a signal's included.
int unlockCard(const ReaderLink& link, const Options& o, CardType type);

// The card locked again, and the status to exit with: a signal caught in the run wins, and
// a card that may have stayed unlocked turns a success into an error.
int endRun(CardLock* lock, int exit);
// Notes that the signal caught stopped the run, and gives its status.
int stoppedBySignal(const std::string& where);

} // namespace tessary::memcard
