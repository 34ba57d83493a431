// SPDX-License-Identifier: BSD-3-Clause
#include "runner.h"

#include "interrupt.h"
#include "pcsc_result.h"
#include "reader_features.h"

#include <thread>

namespace tessary::run {
namespace {

// The line that ends a run early, and the run's exit status then.
struct Ending {
    std::string text;
    int status = 1;
};

Ending endingFor(Loss loss, const std::string& readerName) {
    const std::string reader = printable(readerName); // as its driver names it
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

// The counts so far in one line that takes its own place again, a few times a second at
// most whatever the pace of the run: a terminal that redraws each exchange slows the run.
class Progress {
public:
    explicit Progress(const std::function<void(std::string_view)>& show) : m_show(show) {}

    void update(const RunSummary& summary, std::size_t round, std::size_t rounds) {
        const auto now = std::chrono::steady_clock::now();
        if (!m_show || (m_shown && now - m_last < kRedraw)) {
            return;
        }
        std::string text;
        if (rounds > 1) {
            text = "round " + std::to_string(round) + "/" + std::to_string(rounds) + ", ";
        }
        text += std::to_string(summary.commands) + " sent: " + std::to_string(summary.passed) +
                " passed, " + std::to_string(summary.failed) + " failed, " +
                std::to_string(summary.errors) + (summary.errors == 1 ? " error" : " errors");
        m_show(text);
        m_shown = true;
        m_last = now;
    }
    // Before any other line, and at the end: the terminal is left as it was.
    void clear() {
        if (m_shown) {
            m_show({});
            m_shown = false;
        }
    }

private:
    static constexpr std::chrono::milliseconds kRedraw{200};
    const std::function<void(std::string_view)>& m_show;
    bool m_shown = false;
    std::chrono::steady_clock::time_point m_last;
};

void markInterrupted(RunSummary& summary, int signal) {
    summary.interruptedBy = signal;
    summary.stopped = "interrupted by " + signalName(signal);
    summary.status = 128 + signal;
}

} // namespace

int runCommands(const std::vector<RunCommand>& commands, const RunSettings& settings, Link& link,
                const RunOutput& output, const RunControl& control) {
    const auto interrupted = [&control] { return control.interrupted ? control.interrupted() : 0; };
    const auto wait = [&control](std::chrono::milliseconds time) {
        if (control.wait) {
            return control.wait(time);
        }
        std::this_thread::sleep_for(time);
        return true;
    };
    const auto show = [&output, &settings](const std::string& json, const std::string& text) {
        return output.out(settings.json ? json : text);
    };
    RunSummary summary;
    summary.files = settings.files;
    const Transmit transmit = [&link](const Bytes& request) { return link.transmit(request); };
    Progress progress(output.progress);
    // Shown at once, so that whoever watches sees what the run goes to before it sends.
    bool written = show(formatTargetJson(settings.target), formatTargetText(settings.target));
    output.flush();
    bool first = true;
    for (std::size_t round = 1; round <= settings.repeat && summary.stopped.empty() && written;
         ++round) {
        for (const RunCommand& command : commands) {
            if (interrupted() == 0 && !first && settings.intervalMs > 0) {
                output.flush();
                wait(std::chrono::milliseconds(settings.intervalMs));
            }
            if (const int signal = interrupted()) {
                markInterrupted(summary, signal);
                break;
            }
            first = false;
            const CommandOutcome outcome =
                sendCommand(command.apdu, settings.getResponse, transmit);
            const Pattern* expect = command.expect ? &*command.expect : settings.expect;
            const CommandReport report{&command, round,  settings.repeat,
                                       &outcome, expect, judge(outcome, expect)};
            ++summary.commands;
            for (const RawExchange& exchange : outcome.exchanges) {
                summary.times.add(exchange.micros);
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
                progress.clear();
                written = show(formatCommandJson(report), formatCommandText(report));
                if (!written) {
                    break; // results that reach no one are no reason to go on sending
                }
            }
            progress.update(summary, round, settings.repeat);
            if (report.result == Result::Error) {
                const Ending ending = endingFor(link.lossAfterFailure(), settings.target.reader);
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
    progress.clear();
    if (!written) {
        return kOutputFailed;
    }
    // A signal during the last exchange still asked for an end: the status says it came.
    if (const int signal = interrupted(); signal != 0 && summary.stopped.empty()) {
        markInterrupted(summary, signal);
    }
    if (summary.status == 0 && (summary.failed > 0 || summary.errors > 0)) {
        summary.status = 1;
    }
    if (!summary.stopped.empty()) {
        output.flush();
        output.err("tessary-run: " + summary.stopped + "\n");
    }
    written = show(formatSummaryJson(summary), formatSummaryText(summary));
    output.flush();
    return written ? summary.status : kOutputFailed;
}

} // namespace tessary::run
