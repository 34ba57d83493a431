// SPDX-License-Identifier: BSD-3-Clause
#include "options.h"

#include "commands.h"
#include "messages.h"
#include "pcsc_result.h"
#include "psc_input.h"
#include "tessary_version.h"

#include <QCommandLineParser>
#include <QFile>

#include <cstdio>

#include <unistd.h>

namespace tessary::memcard {
namespace {

constexpr const char* kUsageLine = "Usage: tessary-memcard COMMAND [options] [IMAGE...]\n";

// A line per command, as help2man takes them for the manual page's synopsis.
constexpr const char* kSynopsis =
    "Usage: tessary-memcard info [-r READER...|--all-readers] [--card TYPE] [--json]\n"
    "  or:  tessary-memcard read [-r READER] [--card TYPE] IMAGE\n"
    "  or:  tessary-memcard read (-r READER...|--all-readers) [--card TYPE] FOLDER\n"
    "  or:  tessary-memcard write [-r READER...|--all-readers] [--card TYPE] "
    "[--psc HEX | --psc-file FILE] [--dry-run] [--last-attempt] IMAGE\n"
    "  or:  tessary-memcard diff IMAGE IMAGE\n"
    "  or:  tessary-memcard verify [-r READER...|--all-readers] [--card TYPE] "
    "[--psc HEX | --psc-file FILE] [--last-attempt]\n";

constexpr const char* kEpilogue = R"(
Commands:
  info    The card's type, size, error counter (PSC attempts left) and protected
          bytes; with --json as one JSON object.
  read    Reads the whole card with its protection into the image file IMAGE, or
          onto standard output for -. A target that is there and is not a regular
          file (a device, a pipe, a folder) is refused and left as it is.
  write   Writes the bytes of IMAGE (- for standard input) that differ from the
          card, after verifying the PSC where the card needs it. Writes nothing
          when the image changes a protected byte.
  diff    Compares two images address by address, protection included; one of
          them may be - for standard input.
  verify  Presents the PSC once and tells the attempts left.

Before a PSC is presented the error counter is read: with one attempt left nothing is
tried unless --last-attempt is given, and no run presents a PSC twice. Without --psc or
--psc-file, on a terminal, the PSC is asked for with the echo off.

Several readers (-r more than once, or --all-readers: every reader holding a card) are
served at once, each card by a connection of its own; every output line starts with its
reader's index and name, and a summary over all readers ends the run. write puts the
same image on every card, each behind its own PSC check (a card with one attempt left
is skipped and named); read writes one image per reader into FOLDER (made when it is
not there), named after the reader. The PSC comes from --psc or --psc-file then.

SIGINT, SIGTERM or SIGHUP stops a write between two write frames: it tells the bytes
written and those not, and the card is reset so that it is not left unlocked.

Exit status: 0 done (diff: the images are equal); 1 refused or different (a wrong PSC,
the last attempt kept, a locked card, protected bytes, images that differ); 2 an error;
130, 143 or 129 stopped by SIGINT, SIGTERM or SIGHUP. On several readers: the worst
of the readers' statuses.

Examples:
  tessary-memcard read -r "Generic Reader" card.img
  tessary-memcard write -r "Generic Reader" --psc-file card.psc --dry-run card.img
  tessary-memcard write --all-readers --psc-file card.psc card.img
  tessary-memcard read --all-readers cards
)";

int usageError(const std::string& message) {
    note(tessary::printable(message));
    std::fprintf(stderr, "%sTry 'tessary-memcard --help' for more.\n", kUsageLine);
    return kError;
}

struct Command {
    const char* name;
    int (*run)(const Options&);
    int files;
    std::vector<const char*> options; // the options it takes besides --help and --version
};

const std::vector<Command>& commands() {
    static const std::vector<Command> table{
        {"info", commandInfo, 0, {"reader", "all-readers", "card", "json"}},
        {"read", commandRead, 1, {"reader", "all-readers", "card"}},
        {"write",
         commandWrite,
         1,
         {"reader", "all-readers", "card", "psc", "psc-file", "dry-run", "last-attempt"}},
        {"diff", commandDiff, 2, {}},
        {"verify",
         commandVerify,
         0,
         {"reader", "all-readers", "card", "psc", "psc-file", "last-attempt"}},
    };
    return table;
}

// The PSC from --psc or --psc-file; never echoed in a message.
int takePsc(const QCommandLineParser& parser, const QCommandLineOption& psc,
            const QCommandLineOption& pscFile, Options& o) {
    if (parser.isSet(psc) && parser.isSet(pscFile)) {
        return usageError("give the PSC once: --psc or --psc-file");
    }
    if (parser.isSet(psc)) {
        o.psc = parsePsc(parser.value(psc).toStdString());
        if (!o.psc) {
            return usageError("--psc takes the PSC as hexadecimal digits, such as 123456");
        }
    }
    if (parser.isSet(pscFile)) {
        const PscInput input = readPscFile(QFile::encodeName(parser.value(pscFile)).toStdString());
        if (!input.psc) {
            return error(input.error);
        }
        o.psc = input.psc;
    }
    return kDone;
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
        QStringLiteral("The reader of this whole name, the one reader whose name begins with "
                       "it, or the reader of this index in tessary-run --list (from 0); digits "
                       "alone are taken as a whole name first, then as an index. Needed when "
                       "cards are in several readers. Given more than once: each of these "
                       "readers at once."),
        QStringLiteral("READER"));
    const QCommandLineOption allReaders(
        QStringLiteral("all-readers"),
        QStringLiteral("Every reader that holds a card, all at once."));
    const QCommandLineOption card(
        QStringLiteral("card"),
        QStringLiteral("The card type, when the ATR does not tell it: sle4442, sle4432, "
                       "sle4428 or sle4418."),
        QStringLiteral("TYPE"));
    const QCommandLineOption psc(
        QStringLiteral("psc"),
        QStringLiteral("The card's PSC as hexadecimal digits: 3 bytes for an SLE4442 (123456), "
                       "2 for an SLE4428. Every user of the machine can read it in the process "
                       "list: --psc-file or the prompt on a terminal keep it out of there."),
        QStringLiteral("HEX"));
    const QCommandLineOption pscFile(
        QStringLiteral("psc-file"),
        QStringLiteral("Reads the PSC from the first line of FILE, as hexadecimal digits with "
                       "blanks between the bytes allowed; - reads standard input."),
        QStringLiteral("FILE"));
    const QCommandLineOption json(QStringLiteral("json"),
                                  QStringLiteral("info: one JSON object instead of the text."));
    const QCommandLineOption dryRun(QStringLiteral("dry-run"),
                                    QStringLiteral("write: show what would be written, and "
                                                   "write nothing."));
    const QCommandLineOption lastAttempt(
        QStringLiteral("last-attempt"),
        QStringLiteral("Present the PSC even when the card has one attempt left; a wrong PSC "
                       "then locks the card for good."));
    parser.addOptions(
        {help, version, reader, allReaders, card, psc, pscFile, json, dryRun, lastAttempt});

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
    int stdinUses = parser.isSet(pscFile) && parser.value(pscFile) == QLatin1String("-") ? 1 : 0;
    for (const QString& file : positional) {
        o.files.push_back(QFile::encodeName(file).toStdString());
        stdinUses += o.command != "read" && file == QLatin1String("-") ? 1 : 0;
    }
    if (stdinUses > 1) {
        return usageError("standard input (-) can give one thing only: an image or the PSC");
    }
    o.standardInputTaken = stdinUses > 0;
    for (const QString& value : parser.values(reader)) {
        o.readers.push_back(value.toStdString());
    }
    if (!o.readers.empty()) {
        o.reader = o.readers.front();
    }
    o.allReaders = parser.isSet(allReaders);
    if (parser.isSet(card)) {
        o.card = cardTypeNamed(parser.value(card).toStdString());
        if (!o.card) {
            return usageError("--card takes sle4442, sle4432, sle4428 or sle4418, not '" +
                              parser.value(card).toStdString() + "'");
        }
    }
    if (const int taken = takePsc(parser, psc, pscFile, o); taken != kDone) {
        return taken;
    }
    if (o.severalReaders() && o.command == "verify" && !o.psc) {
        return usageError("verify on several readers needs the PSC from --psc or --psc-file");
    }
    if (o.command == "verify" && !o.psc && ::isatty(STDIN_FILENO) == 0) {
        return usageError("verify needs the PSC: --psc HEX, --psc-file FILE, or a terminal to "
                          "type it on");
    }
    o.dryRun = parser.isSet(dryRun);
    o.lastAttempt = parser.isSet(lastAttempt);
    o.json = parser.isSet(json);
    return o.severalReaders() ? runOnReaders(o, command->run) : command->run(o);
}

} // namespace tessary::memcard
