// read: the whole card with its protection into an image file.
#include "card_steps.h"
#include "commands.h"
#include "messages.h"

#include <QDateTime>
#include <QSaveFile>

#include <string>

namespace tessary::memcard {

int commandRead(const Options& o) {
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
    CardImage image;
    const CardStatus status = readCard(link.card(), *type, image);
    if (!status.ok()) {
        return cardError(status);
    }
    image.date = QDateTime::currentDateTimeUtc().toString(Qt::ISODate).toStdString();
    const std::string text = formatImage(image);

    // A temporary file renamed over the target: a failure never leaves half an image.
    const QString& path = o.files[0];
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(text.data(), static_cast<qint64>(text.size())) !=
            static_cast<qint64>(text.size()) ||
        !file.commit()) {
        return error("cannot write " + path.toStdString() + ": " +
                     file.errorString().toStdString());
    }
    out("read the " + std::string(traits(*type).name) + " in '" + link.reader() + "' into " +
        path.toStdString());
    return kDone;
}

} // namespace tessary::memcard
