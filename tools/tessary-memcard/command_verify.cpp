// verify: the PSC presented once, on a card reset before and after it.
#include "card_steps.h"
#include "commands.h"
#include "messages.h"

#include <string>

namespace tessary::memcard {

int commandVerify(const Options& o) {
    ReaderLink link;
    std::string failure;
    if (!connectCard(link, o, failure)) {
        return error(failure);
    }
    int exit = kDone;
    const auto type = cardType(link, {o.card, std::nullopt}, exit);
    if (!type) {
        return exit;
    }
    if ((exit = checkPsc(o, *type)) != kDone) {
        return exit;
    }
    const LONG reset = resetCard(link.card());
    if (reset != SCARD_S_SUCCESS) {
        return cardError({reset, "resetting the card before its PSC", ""});
    }
    const LockAgainAtEnd locked(link.card());
    PscGuard guard;
    return reportPsc(guard.verify(link.card(), *type, *o.psc, o.lastAttempt));
}

} // namespace tessary::memcard
