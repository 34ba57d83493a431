// SPDX-License-Identifier: BSD-3-Clause
#include "reader_lines.h"

#include "pcsc_result.h"
#include "reader_choice.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <thread>

namespace tessary::tools {

SharedOutput::SharedOutput(std::function<bool(std::string_view)> write)
    : m_write(std::move(write)) {}

bool SharedOutput::write(std::string_view lines) {
    std::lock_guard lock(m_mutex);
    return m_write(lines);
}

ReaderLines::ReaderLines(SharedOutput& output, Mark mark)
    : m_output(output), m_mark(std::move(mark)) {}

ReaderLines::~ReaderLines() {
    finish();
}

bool ReaderLines::write(std::string_view text) {
    m_pending += text;
    const std::size_t end = m_pending.rfind('\n');
    if (end == std::string::npos) {
        return true;
    }
    std::string lines;
    std::size_t at = 0;
    while (at <= end) {
        const std::size_t stop = m_pending.find('\n', at);
        lines += m_mark(std::string_view(m_pending).substr(at, stop - at));
        lines += '\n';
        at = stop + 1;
    }
    m_pending.erase(0, end + 1);
    return m_output.write(lines);
}

bool ReaderLines::finish() {
    return m_pending.empty() || write("\n");
}

ReaderLines::Mark labelLines(std::string label) {
    return [label = std::move(label)](std::string_view line) {
        return label + " " + std::string(line);
    };
}

ReaderLines::Mark labelJsonLines(std::size_t index, std::string name) {
    return [index, name = std::move(name)](std::string_view line) {
        const QJsonDocument document =
            QJsonDocument::fromJson(QByteArray(line.data(), static_cast<qsizetype>(line.size())));
        if (!document.isObject()) {
            return readerLabel(index, printable(name)) + " " + std::string(line);
        }
        QJsonObject object = document.object();
        object.insert("reader", QString::fromStdString(name));
        object.insert("reader_index", static_cast<qint64>(index));
        return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
    };
}

int worseStatus(int a, int b) {
    return std::max(a, b);
}

namespace {

struct Counts {
    std::size_t done = 0, refused = 0, failed = 0, stopped = 0;
    int status = 0;
};

Counts countOutcomes(const std::vector<ReaderOutcome>& outcomes) {
    Counts counts;
    for (const ReaderOutcome& outcome : outcomes) {
        counts.status = worseStatus(counts.status, outcome.status);
        switch (outcome.status) {
        case 0:
            ++counts.done;
            break;
        case 1:
            ++counts.refused;
            break;
        case 2:
            ++counts.failed;
            break;
        default:
            ++counts.stopped;
            break;
        }
    }
    return counts;
}

const char* wordFor(int status, const OutcomeWords& words) {
    switch (status) {
    case 0:
        return words.done;
    case 1:
        return words.refused;
    case 2:
        return words.failed;
    default:
        return "stopped";
    }
}

} // namespace

std::string formatOutcomesText(const std::vector<ReaderOutcome>& outcomes,
                               const OutcomeWords& words) {
    const Counts counts = countOutcomes(outcomes);
    std::string text =
        std::to_string(outcomes.size()) + (outcomes.size() == 1 ? " reader: " : " readers: ") +
        std::to_string(counts.done) + " " + words.done + ", " + std::to_string(counts.refused) +
        " " + words.refused + ", " + std::to_string(counts.failed) + " " + words.failed;
    if (counts.stopped > 0) {
        text += ", " + std::to_string(counts.stopped) + " stopped";
    }
    text += "; exit status " + std::to_string(counts.status) + "\n";
    for (const ReaderOutcome& outcome : outcomes) {
        if (outcome.status != 0) {
            text += "  " + readerLabel(outcome.index, printable(outcome.name)) + " " +
                    wordFor(outcome.status, words) + " (exit status " +
                    std::to_string(outcome.status) + ")\n";
        }
    }
    return text;
}

std::string formatOutcomesJson(const std::vector<ReaderOutcome>& outcomes,
                               const OutcomeWords& words) {
    const Counts counts = countOutcomes(outcomes);
    QJsonArray each;
    for (const ReaderOutcome& outcome : outcomes) {
        each.append(QJsonObject{{"reader", QString::fromStdString(outcome.name)},
                                {"reader_index", static_cast<qint64>(outcome.index)},
                                {"result", wordFor(outcome.status, words)},
                                {"status", outcome.status}});
    }
    const QJsonObject object{{"type", "readers"},
                             {"readers", static_cast<qint64>(outcomes.size())},
                             {words.done, static_cast<qint64>(counts.done)},
                             {words.refused, static_cast<qint64>(counts.refused)},
                             {words.failed, static_cast<qint64>(counts.failed)},
                             {"stopped", static_cast<qint64>(counts.stopped)},
                             {"status", counts.status},
                             {"results", each}};
    return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString() + "\n";
}

std::vector<int> runOnEach(std::size_t count, const std::function<int(std::size_t)>& run) {
    std::vector<int> statuses(count, 0);
    {
        std::vector<std::jthread> threads;
        threads.reserve(count);
        for (std::size_t i = 0; i < count; ++i) {
            threads.emplace_back([&run, &statuses, i] {
                try {
                    statuses[i] = run(i);
                } catch (...) {
                    statuses[i] = 2;
                }
            });
        }
    }
    return statuses;
}

} // namespace tessary::tools
