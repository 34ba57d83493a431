// SPDX-License-Identifier: BSD-3-Clause
#include "card_steps.h"

#include "file_io.h"
#include "interrupt.h"
#include "messages.h"
#include "pcsc_result.h"
#include "psc_input.h"

#include <string_view>

#include <unistd.h>

namespace tessary::memcard {
namespace {

int pscLengthError(CardType type) {
    const CardTraits& card = traits(type);
    return error(std::string("an ") + card.name + "'s PSC is " + bytesWord(card.pscBytes) + " (" +
                 std::to_string(2 * card.pscBytes) + " hexadecimal digits)");
}

} // namespace

bool connectCard(ReaderLink& link, const Options& o, std::string& failure) {
    if (o.chosenReader) {
        if (link.openBeside(failure) &&
            link.connectTo(*o.chosenReader, SCARD_SHARE_EXCLUSIVE, failure)) {
            return true;
        }
    } else if (link.open(failure) && link.connect(o.reader, SCARD_SHARE_EXCLUSIVE, failure)) {
        return true;
    }
    failure = tessary::printable(failure); // it names readers, and what -r was given
    return false;
}

std::optional<CardType> openCard(ReaderLink& link, const Options& o,
                                 std::optional<CardType> imageType, int& exit, bool* assumed) {
    std::string failure;
    if (!connectCard(link, o, failure)) {
        exit = error(failure);
        return std::nullopt;
    }
    return cardType(link, {o.card, imageType}, exit, assumed);
}

std::optional<CardType> cardType(const ReaderLink& link, const TypeRequest& request, int& exit,
                                 bool* assumed) {
    const TypeResolution resolved = resolveCardType(link.card(), link.atr(), request);
    if (!resolved.status.ok()) {
        exit = cardError(resolved.status);
        return std::nullopt;
    }
    if (!resolved.type) {
        exit = error(resolved.error);
        return std::nullopt;
    }
    if (assumed != nullptr) {
        *assumed = resolved.assumed;
    }
    return resolved.type;
}

// Reads at most what the format's limits allow: a bigger file breaks one of them, and
// the reader names the line.
Loaded loadImage(const std::string& path) {
    TextRead read = readText(path, kMaxImageFileBytes);
    if (!read.text) {
        return {std::nullopt, read.error};
    }
    ParsedImage parsed = parseImage(*read.text);
    if (!parsed.image) {
        return {std::nullopt, inputName(path) + ":" + std::to_string(parsed.error.line) + ": " +
                                  tessary::printable(parsed.error.message)};
    }
    return {std::move(parsed.image), ""};
}

int checkPsc(const Options& o, CardType type) {
    const CardTraits& card = traits(type);
    if (card.pscBytes == 0) {
        return error(std::string("an ") + card.name +
                     " has no PSC; leave out --psc and --psc-file");
    }
    return o.psc && o.psc->size() != card.pscBytes ? pscLengthError(type) : kDone;
}

bool canAskForPsc(const Options& o) {
    // Never from one of several readers' threads: their prompts would fight for the terminal.
    return !o.standardInputTaken && !o.chosenReader && ::isatty(STDIN_FILENO) != 0;
}

LONG resetCard(SCARDHANDLE card) {
    DWORD protocol = 0;
    return SCardReconnect(card, SCARD_SHARE_EXCLUSIVE, SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1,
                          SCARD_RESET_CARD, &protocol);
}

bool CardLock::lockNow() {
    if (m_done) {
        return true;
    }
    m_done = true;
    const LONG rv = resetCard(m_card);
    // A card taken out has lost its power, and with it the verification.
    if (rv == SCARD_S_SUCCESS || rv == SCARD_W_REMOVED_CARD || rv == SCARD_E_NO_SMARTCARD) {
        return true;
    }
    note("resetting the card after the run failed: " + std::string(pcsc_stringify_error(rv)) +
         " (" + tessary::pcscResultText(rv) +
         "); a card still in the reader stays unlocked until it is taken out");
    return false;
}

int stoppedBySignal(const std::string& where) {
    const int signal = InterruptCatcher::caught();
    note("stopped by " + signalName(signal) + (where.empty() ? "" : " " + where));
    return exitForSignal(signal);
}

int unlockCard(const ReaderLink& link, const Options& o, CardType type) {
    if (InterruptCatcher::caught() != 0) {
        return stoppedBySignal("before the PSC: nothing was presented");
    }
    const LONG reset = resetCard(link.card());
    if (reset != SCARD_S_SUCCESS) {
        return cardError({reset, "resetting the card before its PSC", ""});
    }
    PscGuard guard;
    if (const auto refused = guard.check(link.card(), type, o.lastAttempt)) {
        return reportPsc(*refused);
    }
    std::optional<std::vector<uint8_t>> psc = o.psc;
    if (!psc) {
        const CardTraits& card = traits(type);
        // The prompt goes where the one typing sees it, even with standard error sent away.
        const PscInput typed = promptPsc(
            STDIN_FILENO, ::isatty(STDERR_FILENO) != 0 ? STDERR_FILENO : STDIN_FILENO,
            std::string("PSC of the ") + card.name + " in '" + tessary::printable(link.reader()) +
                "' (" + std::to_string(2 * card.pscBytes) + " hexadecimal digits): ");
        if (typed.signal != 0) {
            return stoppedBySignal("at the PSC prompt: nothing was presented");
        }
        if (!typed.psc) {
            return error(typed.error + "; nothing was presented");
        }
        psc = typed.psc;
        if (psc->size() != card.pscBytes) {
            return pscLengthError(type);
        }
    }
    if (InterruptCatcher::caught() != 0) {
        return stoppedBySignal("before the PSC: nothing was presented");
    }
    return reportPsc(guard.present(link.card(), type, *psc));
}

int endRun(CardLock* lock, int exit) {
    const bool locked = lock == nullptr || lock->lockNow();
    if (InterruptCatcher::caught() != 0) {
        return exit > 128 ? exit : stoppedBySignal("");
    }
    return locked || exit != kDone ? exit : kError;
}

} // namespace tessary::memcard
