// SPDX-License-Identifier: BSD-3-Clause
// read: the whole card with its protection into an image file, or onto standard output.
#include "card_steps.h"
#include "commands.h"
#include "file_io.h"
#include "messages.h"
#include "pcsc_result.h"

#include <QDateTime>

#include <string>

namespace tessary::memcard {

int commandRead(const Options& o) {
    const std::string& path = o.files[0];
    // Before the card is touched: a device or a pipe named by mistake is never replaced.
    if (const std::string refused = refuseTarget(path); !refused.empty()) {
        return error(refused);
    }
    ReaderLink link;
    int exit = kDone;
    const auto type = openCard(link, o, std::nullopt, exit);
    if (!type) {
        return exit;
    }
    CardImage image;
    const CardStatus status = readCard(link.card(), *type, image);
    if (!status.ok()) {
        return cardError(status);
    }
    image.date = QDateTime::currentDateTimeUtc().toString(Qt::ISODate).toStdString();
    if (const std::string failed = writeText(path, formatImage(image)); !failed.empty()) {
        return error(failed);
    }
    if (path != kStandardStream) {
        out("read the " + std::string(traits(*type).name) + " in '" +
            tessary::printable(link.reader()) + "' into " + outputName(path));
    }
    return kDone;
}

} // namespace tessary::memcard
