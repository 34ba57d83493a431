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

#include <cstddef>
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

// A reader per entry with its index, as -r takes it: its state and card, what the ATR says,
// and what its driver offers.
int listReaders(Session& session, bool json) {
    std::string error;
    const auto readers = session.readers(error);
    if (!readers) {
        return fatal(error);
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
            out("[" + std::to_string(index) + "] " + reader.name + ": " + state);
            out(reader.card ? ", ATR " + atr + "\n  " + says + "\n" : std::string("\n"));
            out("  driver: " + featuresText(features) + "\n");
        }
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const Options options = readOptions(std::vector<std::string>(argv, argv + argc));
    if (options.exitStatus >= 0) {
        std::fputs(options.output.c_str(), stdout);
        std::fputs(options.error.c_str(), stderr);
        return options.exitStatus;
    }
    // Every file is read and checked before anything is sent.
    std::vector<RunCommand> commands;
    for (const std::string& file : options.files) {
        FileCommands loaded = loadRunFile(file, options.format);
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
    if (!session.connect(options.reader, options.shareMode, error)) {
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
    settings.reader = session.reader();
    const RunOutput output{
        out, [](std::string_view text) { std::fwrite(text.data(), 1, text.size(), stderr); },
        [] { std::fflush(stdout); }};
    return runCommands(commands, settings, session, output);
}
