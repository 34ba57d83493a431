#include "runner.h"

#include "reader_features.h"

#include <chrono>
#include <thread>

namespace tessary::run {
namespace {

// The line that ends a run early, and the run's exit status then.
struct Ending {
    std::string text;
    int status = 1;
};

Ending endingFor(Loss loss, const std::string& reader) {
    switch (loss) {
    case Loss::CardTakenOut:
        return {"the card was taken out of " + reader, 1};
    case Loss::ReaderGone:
        return {"the reader " + reader + " is gone", 2};
    case Loss::ServiceGone:
        return {"the PC/SC service stopped (is pcscd running?)", 2};
    case Loss::NoReaderCommands:
        return {pcscfeatures::noEscapeHint(pcscfeatures::kReaderControlCode), 2};
    case Loss::None:
        break;
    }
    return {};
}

} // namespace

int runCommands(const std::vector<RunCommand>& commands, const RunSettings& settings, Link& link,
                const RunOutput& output) {
    RunSummary summary;
    const Transmit transmit = [&link](const Bytes& request) { return link.transmit(request); };
    bool first = true;
    for (std::size_t round = 1; round <= settings.repeat && summary.stopped.empty(); ++round) {
        for (const RunCommand& command : commands) {
            if (!first && settings.intervalMs > 0) {
                output.flush();
                std::this_thread::sleep_for(std::chrono::milliseconds(settings.intervalMs));
            }
            first = false;
            const CommandOutcome outcome =
                sendCommand(command.apdu, settings.getResponse, transmit);
            const Pattern* expect = command.expect ? &*command.expect : settings.expect;
            const CommandReport report{&command, round,  settings.repeat,
                                       &outcome, expect, judge(outcome, expect)};
            ++summary.commands;
            for (const RawExchange& exchange : outcome.exchanges) {
                summary.micros.push_back(exchange.micros);
            }
            switch (report.result) {
            case Result::Ok:
                ++summary.passed;
                break;
            case Result::Fail:
                ++summary.failed;
                break;
            case Result::Error:
                ++summary.errors;
                break;
            }
            if (!settings.quiet || report.result != Result::Ok) {
                output.out(settings.json ? formatCommandJson(report) : formatCommandText(report));
            }
            if (report.result == Result::Error) {
                const Ending ending = endingFor(link.lossAfterFailure(), settings.reader);
                if (!ending.text.empty()) {
                    summary.stopped = ending.text;
                    summary.status = ending.status;
                    break;
                }
            }
            if (report.result != Result::Ok && settings.stopOnFail) {
                summary.stopped = "stopped at the first command that did not pass";
                break;
            }
        }
    }
    if (summary.status == 0 && (summary.failed > 0 || summary.errors > 0)) {
        summary.status = 1;
    }
    if (!summary.stopped.empty()) {
        output.flush();
        output.err("tessary-run: " + summary.stopped + "\n");
    }
    output.out(settings.json ? formatSummaryJson(summary) : formatSummaryText(summary));
    output.flush();
    return summary.status;
}

} // namespace tessary::run
