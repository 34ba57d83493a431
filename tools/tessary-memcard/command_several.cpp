// SPDX-License-Identifier: BSD-3-Clause
// A command on several readers at once: every reader chosen before any card is touched, each
// served by a thread with a connection of its own beside the service bound here, its lines
// named by its reader, and a summary over all that ends with the worst status.
#include "card_steps.h"
#include "commands.h"
#include "file_io.h"
#include "interrupt.h"
#include "messages.h"
#include "pcsc_result.h"
#include "psc_input.h"
#include "reader_choice.h"
#include "reader_lines.h"

#include <map>
#include <string>
#include <vector>

#include <unistd.h>

namespace tessary::memcard {
namespace {

using tessary::tools::ReaderChoice;
using tessary::tools::ReaderLines;

constexpr tessary::tools::OutcomeWords kWords{"done", "refused", "errors"};

// Every reader's image path in the folder, named after the reader.
std::vector<std::string> imagePaths(const std::string& folder,
                                    const std::vector<ReaderChoice>& readers) {
    std::map<std::string, int> uses;
    for (const ReaderChoice& reader : readers) {
        ++uses[imageFileName(reader.name, reader.index, false)];
    }
    std::vector<std::string> paths;
    for (const ReaderChoice& reader : readers) {
        const bool clashes = uses[imageFileName(reader.name, reader.index, false)] > 1;
        paths.push_back(folder + "/" + imageFileName(reader.name, reader.index, clashes));
    }
    return paths;
}

} // namespace

int runOnReaders(const Options& o, int (*command)(const Options&)) {
    std::optional<CardImage> image;
    bool askPsc = false; // a write whose cards need the PSC, which was not given
    if (o.command == "write") {
        Loaded loaded = loadImage(o.files[0]);
        if (!loaded.image) {
            return error(loaded.error);
        }
        image = std::move(loaded.image);
        askPsc = traits(image->type).pscBytes > 0 && !o.psc && !o.dryRun;
        if (askPsc && !canAskForPsc(o)) {
            return error(std::string("an ") + traits(image->type).name +
                         " takes writes only after its PSC: give --psc or --psc-file" +
                         (o.standardInputTaken ? "" : ", or run it on a terminal to be asked"));
        }
    }
    if (o.command == "read" && o.files[0] == kStandardStream) {
        return error("read on several readers writes an image per reader into a folder; "
                     "standard output (-) takes one");
    }
    // Bound here for the whole run: the access library's trace, when on, takes every
    // reader's calls.
    ReaderLink service;
    std::string failure;
    if (!service.open(failure)) {
        return error(tessary::printable(failure));
    }
    const auto listed = tessary::tools::listReaders(failure);
    if (!listed) {
        return error(tessary::printable(failure));
    }
    const tessary::tools::ReaderChoices choices =
        tessary::tools::chooseReaders(*listed, o.readers, o.allReaders, true);
    if (!choices.error.empty()) {
        return error(tessary::printable(choices.error));
    }
    std::vector<std::string> paths;
    if (o.command == "read") {
        if (const std::string refused = prepareFolder(o.files[0]); !refused.empty()) {
            return error(refused);
        }
        paths = imagePaths(o.files[0], choices.readers);
    }
    // Held across the threads: a signal stops every write between two frames.
    const InterruptCatcher catcher;
    Options all = o;
    int exit = kDone;
    if (askPsc) {
        // Asked once for every card, before any is touched; each card's own check comes
        // before the PSC is presented to it.
        const CardTraits& card = traits(image->type);
        const PscInput typed =
            promptPsc(STDIN_FILENO, ::isatty(STDERR_FILENO) != 0 ? STDERR_FILENO : STDIN_FILENO,
                      std::string("PSC of the ") + card.name + "s in " +
                          std::to_string(choices.readers.size()) + " readers (" +
                          std::to_string(2 * card.pscBytes) + " hexadecimal digits): ");
        if (typed.signal != 0) {
            return stoppedBySignal("at the PSC prompt: nothing was written");
        }
        if (!typed.psc) {
            return error(typed.error + "; nothing was written");
        }
        all.psc = typed.psc;
        if ((exit = checkPsc(all, image->type)) != kDone) {
            return exit;
        }
    }
    tessary::tools::SharedOutput results(writeOut);
    tessary::tools::SharedOutput notes([](std::string_view lines) {
        std::fwrite(lines.data(), 1, lines.size(), stderr);
        return true;
    });
    const std::vector<int> statuses =
        tessary::tools::runOnEach(choices.readers.size(), [&](std::size_t i) {
            const ReaderChoice& reader = choices.readers[i];
            const std::string label =
                tessary::tools::readerLabel(reader.index, tessary::printable(reader.name));
            ReaderLines resultLines(
                results, o.json ? tessary::tools::labelJsonLines(reader.index, reader.name)
                                : tessary::tools::labelLines(label));
            ReaderLines noteLines(notes, tessary::tools::labelLines(label));
            const ReaderMessages messages(resultLines, noteLines);
            Options own = all;
            own.chosenReader = reader.name;
            own.sharedImage = image ? &*image : nullptr;
            if (!paths.empty()) {
                own.files = {paths[i]};
            }
            return command(own);
        });
    std::vector<tessary::tools::ReaderOutcome> outcomes;
    int worst = kDone;
    for (std::size_t i = 0; i < choices.readers.size(); ++i) {
        outcomes.push_back({choices.readers[i].index, choices.readers[i].name, statuses[i]});
        worst = tessary::tools::worseStatus(worst, statuses[i]);
    }
    const std::string summary = o.json ? tessary::tools::formatOutcomesJson(outcomes, kWords)
                                       : tessary::tools::formatOutcomesText(outcomes, kWords);
    writeOut(summary);
    return worst;
}

} // namespace tessary::memcard
