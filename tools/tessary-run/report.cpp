// SPDX-License-Identifier: BSD-3-Clause
#include "report.h"

#include "hex_text.h"
#include "interrupt.h"
#include "pcsc_result.h"
#include "status_code_name.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

namespace tessary::run {
namespace {

// The command's place: "file:line" for a script's, its name in quotes for a queue's. Both
// come from outside (a name from the file), so their control characters are escaped.
std::string place(const CommandReport& report) {
    const RunCommand& command = *report.command;
    std::string text = command.name ? "\"" + printable(*command.name) + "\""
                                    : printable(command.file) + ":" + std::to_string(command.line);
    if (report.rounds > 1) {
        text += " (round " + std::to_string(report.round) + ")";
    }
    return text;
}

// The access library's name for a code outside its table, and one of its own as well.
constexpr int32_t kUnknownErrorCode = 0x0A7F;
constexpr uint32_t kSharedMode = 2;

const char* shareModeName(uint32_t shareMode) {
    switch (shareMode) {
    case 1:
        return "exclusive";
    case 3:
        return "direct";
    default:
        return "shared";
    }
}

std::string micros(int64_t value) {
    return std::to_string(value) + " us";
}

const char* formatWords(FileFormat format) {
    return format == FileFormat::Queue ? "a queue file" : "a script";
}

QString qText(const std::string& text) {
    return QString::fromStdString(text);
}

QString qHex(std::span<const uint8_t> bytes) {
    return qText(formatHex(bytes));
}

std::string resultText(const CommandReport& report) {
    switch (report.result) {
    case Result::Ok:
        return "ok";
    case Result::Fail:
        return "FAIL (expected " + formatPattern(*report.expect) + ")";
    case Result::Error:
        return failureName(report.outcome->status);
    }
    return {};
}

std::string line(const std::string& where, const std::string& request, const std::string& answer,
                 int64_t took) {
    return where + "  " + request + " -> " + answer + "  " + micros(took);
}

} // namespace

Result judge(const CommandOutcome& outcome, const Pattern* expect) {
    if (outcome.status != 0) {
        return Result::Error;
    }
    if (expect != nullptr && !matchPattern(*expect, outcome.response)) {
        return Result::Fail;
    }
    return Result::Ok;
}

std::string failureName(int32_t status) {
    char name[35];
    std::string text = StatusCodeName(status, name);
    if (text == "ISP_UNKNOWN_ERR" && status != kUnknownErrorCode) {
        return pcscResultText(status); // no code of the library: the control path's result
    }
    return text;
}

std::string formatTargetText(const RunTarget& target) {
    std::string text = "reader " + printable(target.reader);
    if (target.shareMode != kSharedMode) {
        text += std::string(" (") + shareModeName(target.shareMode) + ")";
    }
    return text +
           (target.atr.empty() ? std::string(", no card") : ", ATR " + formatHex(target.atr)) +
           "\n";
}

std::string formatTargetJson(const RunTarget& target) {
    const QJsonObject object{
        {"type", "reader"},
        {"name", qText(target.reader)},
        {"mode", shareModeName(target.shareMode)},
        {"atr", target.atr.empty() ? QJsonValue(QJsonValue::Null) : QJsonValue(qHex(target.atr))},
    };
    return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString() + "\n";
}

std::string formatCommandText(const CommandReport& report) {
    const CommandOutcome& outcome = *report.outcome;
    const std::string where = place(report);
    std::string text;
    // Every exchange on the wire first when the command led to more than one.
    if (outcome.exchanges.size() > 1) {
        for (const RawExchange& exchange : outcome.exchanges) {
            const std::string answer = exchange.status == 0
                                           ? formatHex(exchange.response)
                                           : "no answer, " + failureName(exchange.status);
            text += line(where, formatHex(exchange.request), answer, exchange.micros) + "\n";
        }
    }
    const std::string answer =
        report.result == Result::Error ? std::string("no answer") : formatHex(outcome.response);
    const std::string request = outcome.exchanges.size() > 1 ? std::string("merged answer")
                                                             : formatHex(report.command->apdu);
    text += line(where, request, answer, outcome.micros) + "  " + resultText(report) + "\n";
    return text;
}

std::string formatCommandJson(const CommandReport& report) {
    const RunCommand& command = *report.command;
    const CommandOutcome& outcome = *report.outcome;
    QJsonObject object{
        {"type", "command"},
        {"file", qText(command.file)},
        {"line", static_cast<qint64>(command.line)},
        {"round", static_cast<qint64>(report.round)},
        {"request", qHex(command.apdu)},
        {"time_us", static_cast<qint64>(outcome.micros)},
        {"result", report.result == Result::Ok     ? "ok"
                   : report.result == Result::Fail ? "fail"
                                                   : "error"},
    };
    if (command.name) {
        object.insert("name", qText(*command.name));
    }
    if (report.result == Result::Error) {
        object.insert("error", qText(failureName(outcome.status)));
    } else {
        object.insert("response", qHex(outcome.response));
    }
    if (report.expect != nullptr) {
        object.insert("expected", qText(formatPattern(*report.expect)));
    }
    if (outcome.exchanges.size() > 1) {
        QJsonArray exchanges;
        for (const RawExchange& exchange : outcome.exchanges) {
            QJsonObject raw{{"request", qHex(exchange.request)},
                            {"time_us", static_cast<qint64>(exchange.micros)}};
            if (exchange.status == 0) {
                raw.insert("response", qHex(exchange.response));
            } else {
                raw.insert("error", qText(failureName(exchange.status)));
            }
            exchanges.append(raw);
        }
        object.insert("exchanges", exchanges);
    }
    return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString() + "\n";
}

std::string formatSummaryText(const RunSummary& summary) {
    const auto counted = [](std::size_t count, const char* one, const char* more) {
        return std::to_string(count) + (count == 1 ? one : more);
    };
    std::string text = counted(summary.commands, " command", " commands");
    if (summary.interruptedBy != 0) {
        text += " (interrupted by " + signalName(summary.interruptedBy) + ")";
    }
    text += ": " + std::to_string(summary.passed) + " passed, " + std::to_string(summary.failed) +
            " failed, " + counted(summary.errors, " error", " errors");
    if (const auto times = summary.times.summary()) {
        text += "; exchange time min " + micros(times->min) + ", median " + micros(times->median) +
                ", 95th percentile " + micros(times->p95) + ", max " + micros(times->max);
    }
    for (std::size_t i = 0; i < summary.files.size(); ++i) {
        text += (i == 0 ? "; " : ", ") + printable(summary.files[i].name) +
                (i == 0 ? " read as " : " as ") + formatWords(summary.files[i].format);
    }
    return text + "\n";
}

std::string formatSummaryJson(const RunSummary& summary) {
    QJsonObject object{
        {"type", "summary"},
        {"commands", static_cast<qint64>(summary.commands)},
        {"passed", static_cast<qint64>(summary.passed)},
        {"failed", static_cast<qint64>(summary.failed)},
        {"errors", static_cast<qint64>(summary.errors)},
        {"status", summary.status},
    };
    if (const auto times = summary.times.summary()) {
        object.insert("time_us", QJsonObject{{"min", static_cast<qint64>(times->min)},
                                             {"median", static_cast<qint64>(times->median)},
                                             {"p95", static_cast<qint64>(times->p95)},
                                             {"max", static_cast<qint64>(times->max)}});
    }
    if (!summary.files.empty()) {
        QJsonArray files;
        for (const RunFileFormat& file : summary.files) {
            files.append(
                QJsonObject{{"name", qText(file.name)}, {"format", formatName(file.format)}});
        }
        object.insert("files", files);
    }
    if (summary.interruptedBy != 0) {
        object.insert("interrupted", qText(signalName(summary.interruptedBy)));
    }
    if (!summary.stopped.empty()) {
        object.insert("stopped", qText(summary.stopped));
    }
    return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString() + "\n";
}

} // namespace tessary::run
