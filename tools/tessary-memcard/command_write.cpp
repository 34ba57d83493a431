// SPDX-License-Identifier: BSD-3-Clause
// write: the bytes of an image that differ from the card, after the PSC where the card
// needs it, each read back.
#include "card_steps.h"
#include "commands.h"
#include "file_io.h"
#include "interrupt.h"
#include "messages.h"
#include "pcsc_result.h"
#include "write_plan.h"

#include <optional>
#include <string>

namespace tessary::memcard {
namespace {

void showPlanNotes(const WritePlan& plan) {
    if (!plan.skipped.empty()) {
        note("not written: " + formatRanges(plan.skipped) +
             ", the error counter and PSC, which an image never changes");
    }
    if (!plan.protectionNotWritten.empty()) {
        note("protection not written: " + formatRanges(plan.protectionNotWritten) +
             " (protected in the image only; protecting a byte cannot be undone, so an image "
             "never does it)");
    }
}

std::string countedRanges(const std::vector<uint32_t>& addresses) {
    return formatRanges(addresses) + " (" + bytesWord(addresses.size()) + ")";
}

// What a write that did not end tells: the bytes the reader took, and the others.
void showUnfinished(const WriteReport& report) {
    note("written: " + countedRanges(report.written));
    note((report.stopped ? "not written: " : "not written or not confirmed: ") +
         countedRanges(report.unconfirmed));
}

} // namespace

int commandWrite(const Options& o) {
    const Loaded loaded = o.sharedImage != nullptr ? Loaded{} : loadImage(o.files[0]);
    if (o.sharedImage == nullptr && !loaded.image) {
        return error(loaded.error);
    }
    const CardImage& target = o.sharedImage != nullptr ? *o.sharedImage : *loaded.image;
    ReaderLink link;
    int exit = kDone;
    const auto type = openCard(link, o, target.type, exit);
    if (!type) {
        return exit;
    }
    const CardTraits& card = traits(*type);
    if (o.psc && (exit = checkPsc(o, *type)) != kDone) {
        return exit;
    }
    CardImage current;
    CardStatus status = readCard(link.card(), *type, current);
    if (!status.ok()) {
        return cardError(status);
    }
    const WritePlan plan = planWrite(current, target);
    if (!plan.refused.empty()) {
        note("refused: the image changes protected bytes: " + formatRanges(plan.refused));
        note("nothing was written");
        return kRefused;
    }
    showPlanNotes(plan);
    if (plan.runs.empty()) {
        out("nothing to write: the card holds the image already");
        return kDone;
    }
    const std::string amount =
        bytesWord(plan.byteCount()) + " in " + std::to_string(plan.runs.size()) +
        (plan.runs.size() == 1 ? " run" : " runs") + " (" + std::to_string(plan.byteCount()) +
        (plan.byteCount() == 1 ? " write frame)" : " write frames)");
    if (o.dryRun) {
        out("would write " + amount + (card.pscBytes > 0 ? ", after the PSC:" : ":"));
        for (uint32_t a : plan.addresses()) {
            out(formatAddress(a) + ": " + formatByte(current.data[a]) + " -> " +
                formatByte(target.data[a]));
        }
        return kDone;
    }
    if (card.pscBytes > 0 && !o.psc && !canAskForPsc(o)) {
        return error(std::string("an ") + card.name +
                     " takes writes only after its PSC: give --psc or --psc-file" +
                     (o.standardInputTaken || o.chosenReader
                          ? ""
                          : ", or run it on a terminal to be asked"));
    }
    // From here on a signal stops the run between two frames, and the card is reset first.
    const InterruptCatcher catcher;
    std::optional<CardLock> lock;
    if (card.pscBytes > 0) {
        lock.emplace(link.card());
        if ((exit = unlockCard(link, o, *type)) != kDone) {
            return endRun(&*lock, exit);
        }
    }
    CardLock* const locked = lock ? &*lock : nullptr;
    const WriteReport report =
        writePlan(link.card(), *type, plan, [] { return InterruptCatcher::caught() != 0; });
    if (report.stopped) {
        note("stopped by " + signalName(InterruptCatcher::caught()) + " between two write frames");
        showUnfinished(report);
        if (locked != nullptr && locked->lockNow()) {
            note("the card was reset: it is not left unlocked");
        }
        return endRun(locked, exitForSignal(InterruptCatcher::caught()));
    }
    if (!report.status.ok()) {
        cardError(report.status);
        showUnfinished(report);
        if (o.files[0] != kStandardStream) {
            note("the image file is unchanged");
        }
        return endRun(locked, kError);
    }
    CardImage after;
    status = readCard(link.card(), *type, after);
    if (!status.ok()) {
        note("wrote " + amount + ", but could not read them back");
        return endRun(locked, cardError(status));
    }
    const auto missing = bytesNotTaken(plan, after);
    if (!missing.empty()) {
        return endRun(locked, error("wrote " + amount + ", but the card did not take " +
                                    formatRanges(missing)));
    }
    out("wrote " + amount + " to the " + card.name + " in '" + tessary::printable(link.reader()) +
        "', and read them back");
    return endRun(locked, kDone);
}

} // namespace tessary::memcard
