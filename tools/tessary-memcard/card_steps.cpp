#include "card_steps.h"

#include "messages.h"

#include <QByteArray>
#include <QFile>

#include <string_view>

namespace tessary::memcard {

bool connectCard(ReaderLink& link, const Options& o, std::string& failure) {
    return link.open(failure) && link.connect(o.reader, SCARD_SHARE_EXCLUSIVE, failure);
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
Loaded loadImage(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {std::nullopt,
                "cannot open " + path.toStdString() + ": " + file.errorString().toStdString()};
    }
    const QByteArray text = file.read(static_cast<qint64>(kMaxImageFileBytes));
    if (file.error() != QFileDevice::NoError) {
        return {std::nullopt,
                "cannot read " + path.toStdString() + ": " + file.errorString().toStdString()};
    }
    ParsedImage parsed =
        parseImage(std::string_view(text.constData(), static_cast<std::size_t>(text.size())));
    if (!parsed.image) {
        return {std::nullopt, path.toStdString() + ":" + std::to_string(parsed.error.line) + ": " +
                                  parsed.error.message};
    }
    return {std::move(parsed.image), ""};
}

int checkPsc(const Options& o, CardType type) {
    const CardTraits& card = traits(type);
    if (card.pscBytes == 0) {
        return error(std::string("an ") + card.name + " has no PSC; leave out --psc");
    }
    if (o.psc && o.psc->size() != card.pscBytes) {
        return error(std::string("an ") + card.name + "'s PSC is " + bytesWord(card.pscBytes) +
                     " (" + std::to_string(2 * card.pscBytes) + " hexadecimal digits)");
    }
    return kDone;
}

LONG resetCard(SCARDHANDLE card) {
    DWORD protocol = 0;
    return SCardReconnect(card, SCARD_SHARE_EXCLUSIVE, SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1,
                          SCARD_RESET_CARD, &protocol);
}

} // namespace tessary::memcard
