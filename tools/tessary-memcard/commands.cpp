#include "commands.h"

#include "card_image.h"
#include "card_session.h"
#include "hex_text.h"
#include "reader_features.h"
#include "reader_link.h"
#include "tessary_version.h"
#include "write_plan.h"

#include <QCommandLineParser>
#include <QDateTime>
#include <QFile>
#include <QSaveFile>

#include <winscard.h>

#include <cctype>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace memcardtool {
namespace {

constexpr const char* kProgram = "tessary-memcard";
constexpr const char* kUsageLine = "Usage: tessary-memcard COMMAND [options] [IMAGE...]\n";

// A line per command, as help2man takes them for the manual page's synopsis.
constexpr const char* kSynopsis =
    "Usage: tessary-memcard info [-r PREFIX] [--card TYPE]\n"
    "  or:  tessary-memcard read [-r PREFIX] [--card TYPE] IMAGE\n"
    "  or:  tessary-memcard write [-r PREFIX] [--card TYPE] [--psc HEX] [--dry-run] "
    "[--last-attempt] IMAGE\n"
    "  or:  tessary-memcard diff IMAGE IMAGE\n"
    "  or:  tessary-memcard verify [-r PREFIX] [--card TYPE] --psc HEX [--last-attempt]\n";

constexpr const char* kEpilogue = R"(
Commands:
  info    The card's type, size, error counter (PSC attempts left) and protected
          bytes.
  read    Reads the whole card with its protection into the image file IMAGE.
  write   Writes the bytes of IMAGE that differ from the card, after verifying the
          PSC where the card needs it. Writes nothing when the image changes a
          protected byte.
  diff    Compares two images address by address, protection included.
  verify  Presents the PSC once and tells the attempts left.

Before a PSC is presented the error counter is read: with one attempt left nothing is
tried unless --last-attempt is given, and no run presents a PSC twice.

Exit status: 0 done (diff: the images are equal); 1 refused or different (a wrong PSC,
the last attempt kept, a locked card, protected bytes, images that differ); 2 an error.

Examples:
  tessary-memcard read -r "Generic Reader" card.img
  tessary-memcard write -r "Generic Reader" --psc 123456 --dry-run card.img
)";

void out(const std::string& line) {
    std::fprintf(stdout, "%s\n", line.c_str());
}

void note(const std::string& line) {
    std::fprintf(stderr, "%s: %s\n", kProgram, line.c_str());
}

int error(const std::string& message) {
    note(message);
    return kError;
}

int usageError(const std::string& message) {
    note(message);
    std::fprintf(stderr, "%sTry 'tessary-memcard --help' for more.\n", kUsageLine);
    return kError;
}

int cardError(const CardStatus& status) {
    if (!status.detail.empty()) {
        return error(status.step + " failed: " + status.detail);
    }
    char code[16];
    std::snprintf(code, sizeof code, "0x%08X", static_cast<uint32_t>(status.code));
    // The memory-card library's word for an answer that came back short.
    const std::string what = status.code == SCARD_F_COMM_ERROR ? "the card's answer came back short"
                                                               : pcsc_stringify_error(status.code);
    if (status.code == SCARD_E_UNSUPPORTED_FEATURE) {
        note(pcscfeatures::noEscapeHint(pcscfeatures::kMemoryCardFrameCode));
    }
    return error(status.step + " failed: " + what + " (" + code + ")");
}

std::string bytesWord(std::size_t n) {
    return std::to_string(n) + (n == 1 ? " byte" : " bytes");
}

std::string attemptsWord(int n) {
    return std::to_string(n) + (n == 1 ? " attempt" : " attempts");
}

struct Options {
    std::string command;
    std::vector<QString> files;
    std::optional<std::string> reader;
    std::optional<CardType> card;
    std::optional<std::vector<uint8_t>> psc;
    bool dryRun = false;
    bool lastAttempt = false;
};

// Hexadecimal digits, blanks between them allowed: 123456 or "12 34 56".
std::optional<std::vector<uint8_t>> parsePsc(const std::string& text) {
    std::string digits;
    for (char c : text) {
        if (c != ' ') {
            digits += c;
        }
    }
    if (digits.empty() || digits.size() % 2 != 0 || digits.size() > 16) {
        return std::nullopt;
    }
    std::vector<uint8_t> bytes;
    for (std::size_t i = 0; i < digits.size(); i += 2) {
        const std::string pair = digits.substr(i, 2);
        if (!std::isxdigit(static_cast<unsigned char>(pair[0])) ||
            !std::isxdigit(static_cast<unsigned char>(pair[1]))) {
            return std::nullopt;
        }
        bytes.push_back(static_cast<uint8_t>(std::stoul(pair, nullptr, 16)));
    }
    return bytes;
}

struct Loaded {
    std::optional<CardImage> image;
    std::string error;
};

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

// The card type for a command, or the status to exit with.
std::optional<CardType> cardType(const CardLink& link, const TypeRequest& request, int& exit,
                                 bool* assumed = nullptr) {
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

// The PSC given fits the card: 0 when it does, else the status to exit with.
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

// A reset ends a verification: the PSC is presented to a card that no earlier session left
// unlocked (an unlocked card takes any PSC), and a card unlocked here is locked again when
// the run is done.
LONG resetCard(SCARDHANDLE card) {
    DWORD protocol = 0;
    return SCardReconnect(card, SCARD_SHARE_EXCLUSIVE, SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1,
                          SCARD_RESET_CARD, &protocol);
}

class LockAgainAtEnd {
public:
    explicit LockAgainAtEnd(SCARDHANDLE card) : m_card(card) {}
    ~LockAgainAtEnd() { resetCard(m_card); }
    LockAgainAtEnd(const LockAgainAtEnd&) = delete;
    LockAgainAtEnd& operator=(const LockAgainAtEnd&) = delete;

private:
    SCARDHANDLE m_card;
};

int reportPsc(const PscOutcome& outcome) {
    switch (outcome.verdict) {
    case PscVerdict::Accepted:
        out("PSC accepted" + (outcome.attemptsAfter >= 0
                                  ? "; " + attemptsWord(outcome.attemptsAfter) + " left"
                                  : std::string()));
        return kDone;
    case PscVerdict::Wrong:
        note("wrong PSC; " +
             (outcome.attemptsAfter >= 0 ? attemptsWord(outcome.attemptsAfter)
                                         : std::string("an unknown number of attempts")) +
             " left");
        return kRefused;
    case PscVerdict::Locked:
        note("the card is locked: no PSC attempt is left; nothing was tried");
        return kRefused;
    case PscVerdict::LastAttemptKept:
        note("the card has one PSC attempt left, and a wrong PSC now locks it for good; "
             "nothing was tried (give --last-attempt to try it)");
        return kRefused;
    case PscVerdict::AlreadyTried:
        return error("a PSC was presented already in this run; nothing was tried again");
    case PscVerdict::Failed:
        break;
    }
    const int exit = cardError(outcome.status);
    if (outcome.attemptsBefore > 0) { // the counter was read: the verification itself failed
        note("the card may have spent a PSC attempt; 'info' tells how many are left");
    }
    return exit;
}

int commandInfo(const Options& o) {
    CardLink link;
    std::string failure;
    if (!link.open(o.reader, failure)) {
        return error(failure);
    }
    int exit = kDone;
    bool assumed = false;
    const auto type = cardType(link, {o.card, std::nullopt}, exit, &assumed);
    if (!type) {
        return exit;
    }
    CardImage image;
    const CardStatus status = readCard(link.card(), *type, image);
    if (!status.ok()) {
        return cardError(status);
    }
    const CardTraits& card = traits(*type);
    const std::string atr = tessary::formatHex(link.atr());
    out("reader:    " + link.reader());
    out("card:      " + std::string(card.name) + " (ATR " + atr + ")" +
        (assumed ? "; an SLE4418 answers alike: name it with --card sle4418" : ""));
    out("memory:    " + bytesWord(card.size) + ", protection bits for 0000-" +
        formatAddress(card.protectable - 1));
    if (*type == CardType::Sle4442 && image.counter) {
        out("counter:   " + formatByte(*image.counter) + ", " +
            attemptsWord(attemptsLeft(*type, *image.counter)) + " left");
    } else if (*type == CardType::Sle4428) {
        const uint8_t counter = image.data[kSle4428CounterAddress];
        out("counter:   " + formatByte(counter) + " at " + formatAddress(kSle4428CounterAddress) +
            ", " + attemptsWord(attemptsLeft(*type, counter)) + " left");
    } else {
        out("counter:   none, the card has no PSC");
    }
    std::vector<uint32_t> protectedBytes;
    for (uint32_t a = 0; a < image.protect.size(); ++a) {
        if (image.protect[a]) {
            protectedBytes.push_back(a);
        }
    }
    out("protected: " + formatRanges(protectedBytes));
    return kDone;
}

int commandRead(const Options& o) {
    CardLink link;
    std::string failure;
    if (!link.open(o.reader, failure)) {
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

int commandWrite(const Options& o) {
    const Loaded loaded = loadImage(o.files[0]);
    if (!loaded.image) {
        return error(loaded.error);
    }
    const CardImage& target = *loaded.image;
    CardLink link;
    std::string failure;
    if (!link.open(o.reader, failure)) {
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

int commandVerify(const Options& o) {
    CardLink link;
    std::string failure;
    if (!link.open(o.reader, failure)) {
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

struct Command {
    const char* name;
    int (*run)(const Options&);
    int files;
    std::vector<const char*> options; // the options it takes besides --help and --version
};

const std::vector<Command>& commands() {
    static const std::vector<Command> table{
        {"info", commandInfo, 0, {"reader", "card"}},
        {"read", commandRead, 1, {"reader", "card"}},
        {"write", commandWrite, 1, {"reader", "card", "psc", "dry-run", "last-attempt"}},
        {"diff", commandDiff, 2, {}},
        {"verify", commandVerify, 0, {"reader", "card", "psc", "last-attempt"}},
    };
    return table;
}

} // namespace

int runCommandLine(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Reads, compares and writes whole SLE4442, SLE4432, SLE4428 and SLE4418 memory\n"
        "cards as image files a person can read, edit and diff, without ever spending a\n"
        "card's last PSC attempt unasked."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help and exit."));
    const QCommandLineOption version(QStringLiteral("version"),
                                     QStringLiteral("Show the version and exit."));
    const QCommandLineOption reader(
        {QStringLiteral("r"), QStringLiteral("reader")},
        QStringLiteral("The reader named PREFIX, or the one whose name begins with it. Needed "
                       "when cards are in several readers."),
        QStringLiteral("PREFIX"));
    const QCommandLineOption card(
        QStringLiteral("card"),
        QStringLiteral("The card type, when the ATR does not tell it: sle4442, sle4432, "
                       "sle4428 or sle4418."),
        QStringLiteral("TYPE"));
    const QCommandLineOption psc(
        QStringLiteral("psc"),
        QStringLiteral("The card's PSC as hexadecimal digits: 3 bytes for an SLE4442 (123456), "
                       "2 for an SLE4428."),
        QStringLiteral("HEX"));
    const QCommandLineOption dryRun(QStringLiteral("dry-run"),
                                    QStringLiteral("write: show what would be written, and "
                                                   "write nothing."));
    const QCommandLineOption lastAttempt(
        QStringLiteral("last-attempt"),
        QStringLiteral("Present the PSC even when the card has one attempt left; a wrong PSC "
                       "then locks the card for good."));
    parser.addOptions({help, version, reader, card, psc, dryRun, lastAttempt});

    if (!parser.parse(arguments)) {
        return usageError(parser.errorText().toStdString());
    }
    if (parser.isSet(help)) {
        // Qt's own usage line names the program by its path: the synopsis stands for it.
        const QString text = parser.helpText();
        std::printf("%s%s%s", kSynopsis,
                    text.mid(text.indexOf(QLatin1Char('\n')) + 1).toStdString().c_str(), kEpilogue);
        return kDone;
    }
    if (parser.isSet(version)) {
        out(std::string(kProgram) + " (Tessary) " + TESSARY_VERSION);
        return kDone;
    }

    QStringList positional = parser.positionalArguments();
    if (positional.isEmpty()) {
        return usageError("no command given");
    }
    Options o;
    o.command = positional.takeFirst().toStdString();
    const Command* command = nullptr;
    for (const auto& c : commands()) {
        if (o.command == c.name) {
            command = &c;
        }
    }
    if (command == nullptr) {
        return usageError("unknown command '" + o.command + "'");
    }
    for (const QString& name : parser.optionNames()) {
        const QString longName = name == QLatin1String("r") ? QStringLiteral("reader") : name;
        bool taken = false;
        for (const char* allowed : command->options) {
            taken = taken || longName == QLatin1String(allowed);
        }
        if (!taken) {
            return usageError(o.command + " takes no --" + longName.toStdString());
        }
    }
    if (positional.size() != command->files) {
        return usageError(o.command + " takes " +
                          (command->files == 0   ? std::string("no image file")
                           : command->files == 1 ? std::string("one image file")
                                                 : std::string("two image files")));
    }
    o.files.assign(positional.begin(), positional.end());
    if (parser.isSet(reader)) {
        o.reader = parser.value(reader).toStdString();
    }
    if (parser.isSet(card)) {
        o.card = cardTypeNamed(parser.value(card).toStdString());
        if (!o.card) {
            return usageError("--card takes sle4442, sle4432, sle4428 or sle4418, not '" +
                              parser.value(card).toStdString() + "'");
        }
    }
    if (parser.isSet(psc)) {
        o.psc = parsePsc(parser.value(psc).toStdString());
        if (!o.psc) {
            return usageError("--psc takes the PSC as hexadecimal digits, such as 123456");
        }
    } else if (o.command == "verify") {
        return usageError("verify needs the PSC: --psc HEX");
    }
    o.dryRun = parser.isSet(dryRun);
    o.lastAttempt = parser.isSet(lastAttempt);
    return command->run(o);
}

} // namespace memcardtool
