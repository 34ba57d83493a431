// SPDX-License-Identifier: BSD-3-Clause
// tessary-run: runs APDU scripts and command-queue files against the card in a PC/SC reader,
// checks every answer and times every exchange; --list shows the readers and their cards.
#include "atr.h"
#include "hex_text.h"
#include "interrupt.h"
#include "listing.h"
#include "options.h"
#include "pcsc_result.h"
#include "reader_features.h"
#include "runner.h"
#include "session.h"
#include "several_readers.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <sys/ioctl.h>
#include <unistd.h>

using namespace tessary::run;
using tessary::describeAtr;
using tessary::formatHex;
using tessary::printable;

namespace {

// The first failure to write the standard output (a full disk, a closed pipe): results
// that reach no one must not end in a status that says all went well.
int g_outputError = 0;

void noteOutputError() {
    if (g_outputError == 0) {
        g_outputError = errno != 0 ? errno : EIO;
    }
}

bool out(std::string_view text) {
    errno = 0;
    if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::ferror(stdout)) {
        noteOutputError();
    }
    return g_outputError == 0;
}

void flushOut() {
    errno = 0;
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        noteOutputError();
    }
}

void err(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stderr);
}

int fatal(const std::string& message) {
    flushOut();
    std::fprintf(stderr, "tessary-run: %s\n", message.c_str());
    return 2;
}

// The status to leave with: 2 when anything written to the standard output was lost.
int finish(int status) {
    flushOut();
    if (g_outputError != 0) {
        std::fprintf(stderr, "tessary-run: cannot write the standard output: %s\n",
                     std::strerror(g_outputError));
        return 2;
    }
    return status;
}

// The progress line of a quiet run on a terminal: one line rewritten in place, no wider
// than the terminal (a wrapped line could not be taken back), cleared by an empty text.
std::function<void(std::string_view)> progressLine(bool wanted) {
    if (!wanted || ::isatty(STDERR_FILENO) != 1) {
        return {};
    }
    winsize size{};
    const std::size_t width =
        ::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 1 ? size.ws_col : 80;
    return [width](std::string_view text) {
        std::string line = "\r";
        line += text.substr(0, width - 1);
        line += "\033[K";
        err(line);
    };
}

// A reader per entry with its index, as -r takes it: its state and card, what the ATR says,
// and what its driver offers.
int listReaders(Session& session, bool json) {
    std::string error;
    const auto readers = session.readers(error);
    if (!readers) {
        return fatal(printable(error));
    }
    if (readers->empty() && !json) {
        out("no readers\n");
    }
    for (std::size_t index = 0; index < readers->size(); ++index) {
        const ListedReader& reader = (*readers)[index];
        const std::string state = cardStateText(reader.state);
        const std::string atr = formatHex(reader.atr);
        const std::string says = reader.card ? describeAtr(reader.atr) : std::string();
        const pcscfeatures::FeatureQuery features = pcscfeatures::queryReaderFeatures(reader.name);
        if (json) {
            QJsonObject object{{"type", "reader"},
                               {"index", static_cast<qint64>(index)},
                               {"name", QString::fromStdString(reader.name)},
                               {"state", QString::fromStdString(state)}};
            if (reader.card) {
                object.insert("atr", QString::fromStdString(atr));
                object.insert("atr_says", QString::fromStdString(says));
            }
            object.insert("driver", featuresJson(features));
            out(QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString() + "\n");
        } else {
            out("[" + std::to_string(index) + "] " + printable(reader.name) + ": " + state);
            out(reader.card ? ", ATR " + atr + "\n  " + says + "\n" : std::string("\n"));
            out("  driver: " + featuresText(features) + "\n");
        }
    }
    return 0;
}

// The readers -r and --all-readers name, each served at once beside the service the main
// session bound: every reader is chosen before anything is sent to any.
int runSeveral(const Options& options, const std::vector<RunCommand>& commands,
               const RunSettings& settings, const RunControl& control) {
    std::string error;
    const auto listed = tessary::tools::listReaders(error);
    if (!listed) {
        return fatal(printable(error));
    }
    const bool needsCard = options.shareMode != SCARD_SHARE_DIRECT;
    const tessary::tools::ReaderChoices choices =
        tessary::tools::chooseReaders(*listed, options.readers, options.allReaders, needsCard);
    if (!choices.error.empty()) {
        return fatal(printable(choices.error));
    }
    std::vector<RunReader> readers;
    for (const tessary::tools::ReaderChoice& choice : choices.readers) {
        readers.push_back({choice.index, choice.name});
    }
    const uint32_t shareMode = options.shareMode;
    const OpenLink openLink = [shareMode](const RunReader& reader, RunTarget& target,
                                          std::string& failure) -> std::unique_ptr<Link> {
        auto session = std::make_unique<Session>();
        if (!session->openBeside(failure) || !session->connectTo(reader.name, shareMode, failure)) {
            return nullptr;
        }
        target = {session->reader(), session->atr(), session->shareMode()};
        return session;
    };
    // Each block of lines out at once: a reader that waits between commands shows what it
    // did so far.
    const SeveralOutput output{[](std::string_view text) {
                                   const bool written = out(text);
                                   flushOut();
                                   return written && g_outputError == 0;
                               },
                               err};
    return runOnReaders(commands, settings, readers, openLink, output, control);
}

} // namespace

int main(int argc, char** argv) {
    const Options options = readOptions(std::vector<std::string>(argv, argv + argc));
    if (options.exitStatus >= 0) {
        out(options.output);
        std::fputs(options.error.c_str(), stderr);
        return finish(options.exitStatus);
    }
    // Every file is read and checked before anything is sent.
    std::vector<RunCommand> commands;
    std::vector<RunFileFormat> files;
    for (const std::string& file : options.files) {
        FileCommands loaded = loadRunFile(file, options.format);
        if (!loaded.error.empty()) {
            return fatal(loaded.error);
        }
        files.push_back({file == "-" ? "(standard input)" : file, loaded.format});
        commands.insert(commands.end(), std::make_move_iterator(loaded.commands.begin()),
                        std::make_move_iterator(loaded.commands.end()));
    }

    Session session;
    std::string error;
    if (!session.open(error)) {
        return fatal(printable(error));
    }
    if (options.list) {
        return finish(listReaders(session, options.json));
    }
    catchInterrupts();
    RunSettings settings;
    settings.repeat = options.repeat;
    settings.intervalMs = options.intervalMs;
    settings.expect = options.expect ? &*options.expect : nullptr;
    settings.getResponse = options.getResponse;
    settings.stopOnFail = options.stopOnFail;
    settings.json = options.json;
    settings.quiet = options.quiet;
    settings.files = std::move(files);
    const RunControl control{interruptSignal, waitUnlessInterrupted};
    if (options.severalReaders()) {
        return finish(runSeveral(options, commands, settings, control));
    }
    if (!session.connect(options.reader(), options.shareMode, error)) {
        return fatal(printable(error)); // reader names, as the drivers give them
    }
    settings.target = {session.reader(), session.atr(), session.shareMode()};
    const RunOutput output{out, err, flushOut, progressLine(options.quiet)};
    return finish(runCommands(commands, settings, session, output, control));
}
