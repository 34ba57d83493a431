// tessary-run: runs APDU scripts and command-queue files against the card in a PC/SC reader,
// checks every answer and times every exchange; --list shows the readers and their cards.
#include "atr.h"
#include "hex_text.h"
#include "listing.h"
#include "options.h"
#include "reader_features.h"
#include "runner.h"
#include "session.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>
#include <string>
#include <vector>

using namespace tessary::run;
using tessary::describeAtr;
using tessary::formatHex;

namespace {

void out(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
}

int fatal(const std::string& message) {
    std::fflush(stdout);
    std::fprintf(stderr, "tessary-run: %s\n", message.c_str());
    return 2;
}

int listReaders(Session& session, bool json) {
    std::string error;
    const auto readers = session.readers(error);
    if (!readers) {
        return fatal(error);
    }
    if (readers->empty() && !json) {
        out("no readers\n");
    }
    for (const ReaderEntry& reader : *readers) {
        const std::string state = CardStateText(reader.state);
        const std::string atr = formatHex(reader.atr);
        const std::string says = reader.card ? describeAtr(reader.atr) : std::string();
        const pcscfeatures::FeatureQuery features = pcscfeatures::queryReaderFeatures(reader.name);
        if (json) {
            QJsonObject object{{"type", "reader"},
                               {"name", QString::fromStdString(reader.name)},
                               {"state", QString::fromStdString(state)}};
            if (reader.card) {
                object.insert("atr", QString::fromStdString(atr));
                object.insert("atr_says", QString::fromStdString(says));
            }
            object.insert("driver", FeaturesJson(features));
            out(QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString() + "\n");
        } else {
            out(reader.name + ": " + state);
            out(reader.card ? ", ATR " + atr + "\n  " + says + "\n" : std::string("\n"));
            out("  driver: " + FeaturesText(features) + "\n");
        }
    }
    return 0;
}

// The reader to connect to: the first whose name begins with the prefix, or the first with a
// card (in direct mode, the first at all when none has one). Empty with `error` filled when
// there is none to take.
std::string chooseReader(const std::vector<ReaderEntry>& readers, const Options& options,
                         std::string& error) {
    const bool direct = options.shareMode == 3;
    if (readers.empty()) {
        error = "no PC/SC reader found";
        return {};
    }
    if (options.reader) {
        for (const ReaderEntry& reader : readers) {
            if (reader.name.starts_with(*options.reader)) {
                if (!reader.card && !direct) {
                    error = "no card in " + reader.name;
                    return {};
                }
                return reader.name;
            }
        }
        error = "no reader's name begins with \"" + *options.reader + "\"; the readers:";
        for (const ReaderEntry& reader : readers) {
            error += "\n  " + reader.name;
        }
        return {};
    }
    for (const ReaderEntry& reader : readers) {
        if (reader.card) {
            return reader.name;
        }
    }
    if (direct) {
        return readers.front().name;
    }
    error = "no reader holds a card";
    return {};
}

} // namespace

int main(int argc, char** argv) {
    const Options options = ReadOptions(std::vector<std::string>(argv, argv + argc));
    if (options.exitStatus >= 0) {
        std::fputs(options.output.c_str(), stdout);
        std::fputs(options.error.c_str(), stderr);
        return options.exitStatus;
    }
    // Every file is read and checked before anything is sent.
    std::vector<RunCommand> commands;
    for (const std::string& file : options.files) {
        FileCommands loaded = LoadRunFile(file, options.format);
        if (!loaded.error.empty()) {
            return fatal(loaded.error);
        }
        commands.insert(commands.end(), std::make_move_iterator(loaded.commands.begin()),
                        std::make_move_iterator(loaded.commands.end()));
    }

    Session session;
    std::string error;
    if (!session.open(error)) {
        return fatal(error);
    }
    if (options.list) {
        return listReaders(session, options.json);
    }
    const auto readers = session.readers(error);
    if (!readers) {
        return fatal(error);
    }
    const std::string reader = chooseReader(*readers, options, error);
    if (reader.empty()) {
        return fatal(error);
    }
    if (!session.connect(reader, options.shareMode, error)) {
        return fatal(error);
    }
    RunSettings settings;
    settings.repeat = options.repeat;
    settings.intervalMs = options.intervalMs;
    settings.expect = options.expect ? &*options.expect : nullptr;
    settings.getResponse = options.getResponse;
    settings.stopOnFail = options.stopOnFail;
    settings.json = options.json;
    settings.quiet = options.quiet;
    settings.reader = reader;
    const RunOutput output{
        out, [](std::string_view text) { std::fwrite(text.data(), 1, text.size(), stderr); },
        [] { std::fflush(stdout); }};
    return RunCommands(commands, settings, session, output);
}
