// SPDX-License-Identifier: BSD-3-Clause
// verify: the PSC presented once, on a card reset before and after it.
#include "card_steps.h"
#include "commands.h"
#include "interrupt.h"
#include "messages.h"

#include <string>

namespace tessary::memcard {

int commandVerify(const Options& o) {
    ReaderLink link;
    int exit = kDone;
    const auto type = openCard(link, o, std::nullopt, exit);
    if (!type) {
        return exit;
    }
    if ((exit = checkPsc(o, *type)) != kDone) {
        return exit;
    }
    // From the first reset on, a signal waits for the card to be reset again.
    const InterruptCatcher catcher;
    CardLock lock(link.card());
    return endRun(&lock, unlockCard(link, o, *type));
}

} // namespace tessary::memcard
