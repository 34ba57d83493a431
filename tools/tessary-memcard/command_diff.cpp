// SPDX-License-Identifier: BSD-3-Clause
// diff: two images compared address by address, protection included; no card needed.
#include "card_steps.h"
#include "commands.h"
#include "messages.h"

namespace tessary::memcard {

int commandDiff(const Options& o) {
    const Loaded from = loadImage(o.files[0]);
    if (!from.image) {
        return error(from.error);
    }
    const Loaded to = loadImage(o.files[1]);
    if (!to.image) {
        return error(to.error);
    }
    const auto lines = diffImages(*from.image, *to.image);
    for (const auto& line : lines) {
        out(line);
    }
    return lines.empty() ? kDone : kRefused;
}

} // namespace tessary::memcard
