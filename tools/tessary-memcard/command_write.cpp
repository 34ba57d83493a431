// write: the bytes of an image that differ from the card, after the PSC where the card
// needs it, each read back.
#include "card_steps.h"
#include "commands.h"
#include "messages.h"
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

} // namespace

int commandWrite(const Options& o) {
    const Loaded loaded = loadImage(o.files[0]);
    if (!loaded.image) {
        return error(loaded.error);
    }
    const CardImage& target = *loaded.image;
    ReaderLink link;
    std::string failure;
    if (!connectCard(link, o, failure)) {
        return error(failure);
    }
    int exit = kDone;
    const auto type = cardType(link, {o.card, target.type}, exit);
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
    std::optional<LockAgainAtEnd> locked;
    if (card.pscBytes > 0) {
        if (!o.psc) {
            return error(std::string("an ") + card.name +
                         " takes writes only after its PSC: give --psc");
        }
        const LONG reset = resetCard(link.card());
        if (reset != SCARD_S_SUCCESS) {
            return cardError({reset, "resetting the card before its PSC", ""});
        }
        locked.emplace(link.card());
        PscGuard guard;
        if ((exit = reportPsc(guard.verify(link.card(), *type, *o.psc, o.lastAttempt))) != kDone) {
            return exit;
        }
    }
    const WriteReport report = writePlan(link.card(), *type, plan);
    if (!report.status.ok()) {
        cardError(report.status);
        note("written: " + formatRanges(report.written) + " (" + bytesWord(report.written.size()) +
             ")");
        note("not written or not confirmed: " + formatRanges(report.unconfirmed) + " (" +
             bytesWord(report.unconfirmed.size()) + ")");
        note("the image file is unchanged");
        return kError;
    }
    CardImage after;
    status = readCard(link.card(), *type, after);
    if (!status.ok()) {
        note("wrote " + amount + ", but could not read them back");
        return cardError(status);
    }
    const auto missing = bytesNotTaken(plan, after);
    if (!missing.empty()) {
        return error("wrote " + amount + ", but the card did not take " + formatRanges(missing));
    }
    out("wrote " + amount + " to the " + card.name + " in '" + link.reader() +
        "', and read them back");
    return kDone;
}

} // namespace tessary::memcard
