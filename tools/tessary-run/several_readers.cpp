// SPDX-License-Identifier: BSD-3-Clause
#include "several_readers.h"

#include "pcsc_result.h"
#include "reader_choice.h"
#include "reader_lines.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace tessary::run {
namespace {

using tessary::tools::ReaderLines;

constexpr tessary::tools::OutcomeWords kWords{"passed", "failed", "errors"};

ReaderLines::Mark markFor(const RunReader& reader, bool json) {
    return json ? tessary::tools::labelJsonLines(reader.index, reader.name)
                : tessary::tools::labelLines(
                      tessary::tools::readerLabel(reader.index, printable(reader.name)));
}

// A reader that could not be reached, as its lines tell it.
std::string unreachedText(const std::string& error, bool json) {
    if (!json) {
        return "tessary-run: " + printable(error) + "\n";
    }
    const QJsonObject object{{"type", "error"}, {"message", QString::fromStdString(error)}};
    return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString() + "\n";
}

} // namespace

int runOnReaders(const std::vector<RunCommand>& commands, const RunSettings& settings,
                 const std::vector<RunReader>& readers, const OpenLink& openLink,
                 const SeveralOutput& output, const RunControl& control) {
    tessary::tools::SharedOutput out(output.out);
    tessary::tools::SharedOutput err([&output](std::string_view text) {
        output.err(text);
        return true;
    });
    const std::vector<int> statuses = tessary::tools::runOnEach(readers.size(), [&](std::size_t i) {
        const RunReader& reader = readers[i];
        ReaderLines lines(out, markFor(reader, settings.json));
        ReaderLines errors(err, markFor(reader, false));
        RunSettings own = settings;
        std::string error;
        const std::unique_ptr<Link> link = openLink(reader, own.target, error);
        if (!link) {
            // On the results too: a reader missing from them would pass unseen.
            if (settings.json) {
                lines.write(unreachedText(error, true));
            }
            errors.write(unreachedText(error, false));
            return 2;
        }
        const RunOutput runOutput{[&lines](std::string_view text) { return lines.write(text); },
                                  [&errors](std::string_view text) { errors.write(text); },
                                  [] {},
                                  {}};
        const int status = runCommands(commands, own, *link, runOutput, control);
        return lines.finish() ? status : tessary::tools::worseStatus(status, kOutputFailed);
    });
    std::vector<tessary::tools::ReaderOutcome> outcomes;
    for (std::size_t i = 0; i < readers.size(); ++i) {
        outcomes.push_back({readers[i].index, readers[i].name, statuses[i]});
    }
    const std::string summary = settings.json
                                    ? tessary::tools::formatOutcomesJson(outcomes, kWords)
                                    : tessary::tools::formatOutcomesText(outcomes, kWords);
    int worst = 0;
    for (const int status : statuses) {
        worst = tessary::tools::worseStatus(worst, status);
    }
    return out.write(summary) ? worst : tessary::tools::worseStatus(worst, kOutputFailed);
}

} // namespace tessary::run
