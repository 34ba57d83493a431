// SPDX-License-Identifier: BSD-3-Clause
// The console's send path in the real window, offscreen, with the data log already full,
// against the bare exchange of the baseline in the same process; and automatic runs over
// a full queue with the operator clicking meanwhile.
#include "Main_mem_pcsc.h"
#include "bench_session.h"
#include "limited_text_edit.h"
#include "radio_group.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <vector>

#include <unistd.h>

namespace {

bool waitUntil(const std::function<bool()>& done) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < 5000) {
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return done();
}

// The window connected to "KALDOR TR-100" in shared mode, so that the baseline's own
// connection to the card stays possible, with its data log full; false when it is not.
bool connectedWithFullLog(TForm1& form, benchmark::State& state) {
    auto* readers = form.findChild<QComboBox*>(QStringLiteral("ReaderComboBox"));
    if (!waitUntil([&] { return readers->count() > 0; })) {
        state.SkipWithError("no readers listed");
        return false;
    }
    form.findChild<RadioGroup*>(QStringLiteral("RGConnectMode"))->setItemIndex(0);
    const int index = readers->findText(QStringLiteral("KALDOR TR-100"), Qt::MatchStartsWith);
    readers->setCurrentIndex(index);
    emit readers->activated(index);
    if (form.connection().card() == 0) {
        state.SkipWithError(
            ("not connected: " +
             form.findChild<QLineEdit*>(QStringLiteral("CurrentStateEdit"))->text().toStdString())
                .c_str());
        return false;
    }
    // Rows of the size a send writes, to the log's limit.
    auto* log = form.findChild<LimitedTextEdit*>(QStringLiteral("LogSmartCardRichEdit"));
    const QString row(60, QLatin1Char('F'));
    for (int i = 0; i < 65536 / 60 + 10; ++i) {
        log->appendLine(row);
    }
    return true;
}

void BM_SendPathLogFull(benchmark::State& state) {
    TForm1 form;
    if (!connectedWithFullLog(form, state)) {
        return;
    }
    form.findChild<QPlainTextEdit*>(QStringLiteral("RequestSmartCardRichEdit"))
        ->setPlainText(QStringLiteral("00 84 00 00 08"));
    for (auto _ : state) {
        form.SendSmartCardBitBtnClick();
    }
}
BENCHMARK(BM_SendPathLogFull)->UseRealTime();

// Each iteration one automatic run over a full queue (100 commands) at the shortest
// interval, 10 ms, from its first command to its last; meanwhile a click on "Data Length"
// is posted every 37 ms, as the operator's would arrive, and timed until its handler runs.
void BM_AutoRunFullQueue(benchmark::State& state) {
    TForm1 form;
    if (!connectedWithFullLog(form, state)) {
        return;
    }
    const auto file = std::filesystem::temp_directory_path() /
                      ("tessary-bench-queue-" + std::to_string(::getpid()) + ".txt");
    {
        std::ofstream queue(file, std::ios::binary);
        for (int i = 0; i < 100; ++i) {
            queue << "Get Challenge " << i << "\r\n  5\r\n00 84 00 00 08\r\n\r\n";
        }
    }
    form.queue().Load(file.string());
    std::filesystem::remove(file);
    form.findChild<RadioGroup*>(QStringLiteral("RGRunMode"))->setItemIndex(0);
    form.RGRunModeClick();
    form.findChild<QLineEdit*>(QStringLiteral("EditCmdInterval"))->setText(QStringLiteral("1"));
    form.EditCmdIntervalExit();
    auto* list = form.findChild<QListWidget*>(QStringLiteral("CmdListBox"));

    auto* button = form.findChild<QPushButton*>(QStringLiteral("CkeckLengthBitBtn"));
    QElapsedTimer posted;
    std::vector<double> latencies; // ms
    QObject::connect(button, &QPushButton::clicked, [&] {
        latencies.push_back(static_cast<double>(posted.nsecsElapsed()) / 1e6);
    });
    QTimer clicker;
    clicker.setInterval(37);
    QObject::connect(&clicker, &QTimer::timeout, [&] {
        const QPointF at = QRectF(button->rect()).center();
        const QPointF global = button->mapToGlobal(at);
        posted.start();
        for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
            QCoreApplication::postEvent(
                button,
                new QMouseEvent(type, at, global, Qt::LeftButton,
                                type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                                Qt::NoModifier));
        }
    });

    double runSeconds = 0;
    int64_t sends = 0;
    for (auto _ : state) {
        list->setCurrentRow(0);
        QElapsedTimer clock;
        clock.start();
        clicker.start();
        form.SendSmartCardBitBtnClick(); // starts the run
        while (form.run().autoRunActive()) {
            QApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
        clicker.stop();
        const double seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
        state.SetIterationTime(seconds);
        runSeconds += seconds;
        sends += list->currentRow() + 1;
    }
    std::sort(latencies.begin(), latencies.end());
    state.counters["sends_per_s"] = static_cast<double>(sends) / runSeconds;
    if (!latencies.empty()) {
        state.counters["click_median_ms"] = latencies[latencies.size() / 2];
        state.counters["click_max_ms"] = latencies.back();
    }
}
BENCHMARK(BM_AutoRunFullQueue)
    ->Iterations(10)
    ->Repetitions(3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

} // namespace

namespace pagesbench {
void release();
} // namespace pagesbench

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    pagesbench::release();
    benchmark::Shutdown();
    return 0;
}
