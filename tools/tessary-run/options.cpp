// SPDX-License-Identifier: BSD-3-Clause
#include "options.h"

#include "tessary_version.h"

#include <QCommandLineParser>
#include <QStringList>

namespace tessary::run {
namespace {

constexpr const char* kUsageLine = "Usage: tessary-run [options] FILE...\n"
                                   "  or:  tessary-run [--json] --list\n";

constexpr const char* kDescription =
    "Sends the commands of APDU scripts and command-queue files to the card in a PC/SC\n"
    "reader, checks each answer against its expected pattern and times every exchange.\n"
    "\n"
    "A script holds one APDU per line in hexadecimal, blanks between bytes optional; #\n"
    "starts a comment; => after the APDU starts the response pattern it must match:\n"
    "hexadecimal bytes, xx (in either case) for any byte, .. for any number of bytes,\n"
    "ending in the status word. A queue file (four lines per command, as the workbench\n"
    "saves it: a name, the length field's three places, the request, an empty line) is\n"
    "recognised by its shape; a file that reads as either is refused without --format.\n"
    "A file named - is the standard input.\n"
    "\n"
    "The first line names the reader and the card's ATR; the summary says how each file\n"
    "was read. Its median and 95th percentile are within 0.4 % of the exact times, in\n"
    "the same memory however long the run; minimum and maximum are exact.";

constexpr const char* kEpilogue =
    "\n"
    "A file PcScLog.txt in the current directory switches on the access library's timed\n"
    "trace of every call into it.\n"
    "\n"
    "SIGINT (Ctrl-C) or SIGTERM lets the exchange in flight end and ends the run with its\n"
    "summary, marked interrupted; a second one ends the program at once.\n"
    "\n"
    "Several readers (-r more than once, or --all-readers) are served at once, each by a\n"
    "connection of its own, so that one reader's failure or slow card holds up no other.\n"
    "Each output line starts with its reader's index and name (JSON objects carry\n"
    "\"reader\" and \"reader_index\"); every reader's summary is followed by one over all.\n"
    "\n"
    "Exit status: 0 when every exchange succeeded and every expectation held, 1 when one\n"
    "did not (or the card was taken out), 2 for a usage error, a bad file, no reader, no\n"
    "card or no PC/SC service, or output that could not be written; 130 after SIGINT and\n"
    "143 after SIGTERM. On several readers: the worst of the readers' statuses.\n"
    "\n"
    "Examples:\n"
    "  tessary-run --list\n"
    "  printf '00 A4 00 00 02 3F 00 => 90 00\\n00 84 00 00 08 => .. 90 00\\n' > check.apdu\n"
    "  tessary-run -r \"KALDOR TR-100\" check.apdu\n"
    "  tessary-run --json -n 10 --expect-sw 9000 queue.txt\n"
    "  tessary-run --all-readers -q check.apdu\n";

QCommandLineOption option(const QStringList& names, const char* description,
                          const char* valueName = nullptr) {
    return valueName == nullptr ? QCommandLineOption(names, QString::fromUtf8(description))
                                : QCommandLineOption(names, QString::fromUtf8(description),
                                                     QString::fromUtf8(valueName));
}

Options usageError(const std::string& message) {
    Options options;
    options.exitStatus = 2;
    options.error =
        "tessary-run: " + message + "\n" + kUsageLine + "Try 'tessary-run --help' for more.\n";
    return options;
}

// A whole decimal number from 0 to max.
std::optional<uint32_t> number(const QString& text, uint32_t max) {
    bool ok = false;
    const qulonglong value = text.toULongLong(&ok, 10);
    if (!ok || text.isEmpty() || !text.front().isDigit() || !text.back().isDigit() || value > max) {
        return std::nullopt;
    }
    return static_cast<uint32_t>(value);
}

} // namespace

Options readOptions(const std::vector<std::string>& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromUtf8(kDescription));
    const auto list = option({"list"}, "List every reader with its index for -r, its card state "
                                       "and ATR, what the ATR says and what its driver offers.");
    const auto reader = option({"r", "reader"},
                               "The reader of this whole name, the one reader whose name begins "
                               "with it, or the reader of this index in --list (from 0); digits "
                               "alone are taken as a whole name first, then as an index. Without "
                               "it: the one reader holding a card, or in direct mode the only "
                               "reader when none holds one; never a guess between two. Given "
                               "more than once, the files run on each of these readers at once.",
                               "READER");
    const auto allReaders =
        option({"all-readers"}, "Run the files on every reader that holds a card (in direct "
                                "mode: on every reader), all at once; each output line starts "
                                "with its reader's index and name.");
    const auto mode = option({"m", "mode"},
                             "Connect shared (default), exclusive, or direct: then the commands "
                             "go to the reader's own control path.",
                             "MODE");
    const auto interval = option({"i", "interval"}, "Wait MS milliseconds between commands.", "MS");
    const auto repeat = option({"n", "repeat"}, "Run the files N times (default 1).", "N");
    const auto format = option({"format"},
                               "Take the files as queue or script files, whatever "
                               "their shape.",
                               "queue|script");
    const auto expect =
        option({"expect"}, "The response pattern for commands without their own.", "PATTERN");
    const auto expectSw = option({"expect-sw"},
                                 "For commands without a pattern of their own: any answer "
                                 "that ends in this status word (9000 is --expect '.. 90 00').",
                                 "SW");
    const auto stopOnFail = option({"stop-on-fail"}, "End the run at the first command that "
                                                     "fails or errs.");
    const auto getResponse = option(
        {"get-response"}, "On 61 xx send GET RESPONSE (00 C0 00 00 xx), on 6C xx the command "
                          "again with Le = xx; show every exchange and the merged answer.");
    const auto json = option({"json"}, "JSON Lines: an object per command, then a summary.");
    const auto quiet = option({"q", "quiet"}, "Show only the reader, the commands that fail or "
                                              "err, and the summary; on a terminal, the counts "
                                              "so far in one line on standard error.");
    const auto help = option({"h", "help"}, "Show this help and exit.");
    const auto version = option({"version"}, "Show the version and exit.");
    parser.addOptions({list, reader, allReaders, mode, interval, repeat, format, expect, expectSw,
                       stopOnFail, getResponse, json, quiet, help, version});
    parser.addPositionalArgument("FILE", "A script or queue file to run, in order.", "FILE...");

    QStringList qArguments;
    for (const std::string& argument : arguments) {
        qArguments << QString::fromLocal8Bit(argument.data(),
                                             static_cast<qsizetype>(argument.size()));
    }
    if (!parser.parse(qArguments)) {
        return usageError(parser.errorText().toStdString());
    }
    Options options;
    if (parser.isSet(help)) {
        // Qt's own usage line names a placeholder without an application object.
        QString text = parser.helpText();
        text = text.mid(text.indexOf(QLatin1Char('\n')) + 1);
        options.output = kUsageLine + ("\n" + text.toStdString()) + kEpilogue;
        options.exitStatus = 0;
        return options;
    }
    if (parser.isSet(version)) {
        options.output = std::string("tessary-run (Tessary) ") + TESSARY_VERSION + "\n";
        options.exitStatus = 0;
        return options;
    }
    options.list = parser.isSet(list);
    for (const QString& file : parser.positionalArguments()) {
        options.files.push_back(file.toLocal8Bit().toStdString());
    }
    if (options.list && !options.files.empty()) {
        return usageError("--list takes no files");
    }
    if (!options.list && options.files.empty()) {
        return usageError("no file to run");
    }
    for (const QString& value : parser.values(reader)) {
        options.readers.push_back(value.toLocal8Bit().toStdString());
    }
    options.allReaders = parser.isSet(allReaders);
    if (options.list && options.allReaders) {
        return usageError("--list shows every reader already; it takes no --all-readers");
    }
    if (parser.isSet(mode)) {
        const QString value = parser.value(mode);
        if (value == "shared") {
            options.shareMode = 2;
        } else if (value == "exclusive") {
            options.shareMode = 1;
        } else if (value == "direct") {
            options.shareMode = 3;
        } else {
            return usageError("--mode is shared, exclusive or direct, not '" + value.toStdString() +
                              "'");
        }
    }
    if (parser.isSet(interval)) {
        const auto value = number(parser.value(interval), kMaxIntervalMs);
        if (!value) {
            return usageError("--interval takes milliseconds from 0 to " +
                              std::to_string(kMaxIntervalMs) + ", not '" +
                              parser.value(interval).toStdString() + "'");
        }
        options.intervalMs = *value;
    }
    if (parser.isSet(repeat)) {
        const auto value = number(parser.value(repeat), kMaxRepeat);
        if (!value || *value == 0) {
            return usageError("--repeat takes a number from 1 to " + std::to_string(kMaxRepeat) +
                              ", not '" + parser.value(repeat).toStdString() + "'");
        }
        options.repeat = *value;
    }
    if (parser.isSet(format)) {
        const QString value = parser.value(format);
        if (value == "queue") {
            options.format = FileFormat::Queue;
        } else if (value == "script") {
            options.format = FileFormat::Script;
        } else {
            return usageError("--format is queue or script, not '" + value.toStdString() + "'");
        }
    }
    if (parser.isSet(expect)) {
        PatternParse pattern = parsePattern(parser.value(expect).toStdString());
        if (!pattern.error.empty()) {
            return usageError("--expect: " + pattern.error);
        }
        options.expect = std::move(pattern.pattern);
    }
    if (parser.isSet(expectSw)) {
        if (options.expect) {
            return usageError("--expect and --expect-sw both give the pattern for commands "
                              "without their own; give one");
        }
        PatternParse pattern = statusWordPattern(parser.value(expectSw).toStdString());
        if (!pattern.error.empty()) {
            return usageError("--expect-sw: " + pattern.error);
        }
        options.expect = std::move(pattern.pattern);
    }
    options.stopOnFail = parser.isSet(stopOnFail);
    options.getResponse = parser.isSet(getResponse);
    options.json = parser.isSet(json);
    options.quiet = parser.isSet(quiet);
    if (options.getResponse && options.shareMode == 3) {
        return usageError("--get-response is for cards, not the reader's control path "
                          "(--mode direct)");
    }
    return options;
}

} // namespace tessary::run
