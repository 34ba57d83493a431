// The console's send path in the real window, offscreen, with the data log already full,
// against the bare exchange of the baseline in the same process.
#include "Main_mem_pcsc.h"
#include "bench_session.h"
#include "radio_group.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPlainTextEdit>

namespace {

bool waitUntil(const std::function<bool()>& done) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < 5000) {
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return done();
}

void BM_SendPathLogFull(benchmark::State& state) {
    TForm1 form;
    auto* readers = form.findChild<QComboBox*>(QStringLiteral("ReaderComboBox"));
    if (!waitUntil([&] { return readers->count() > 0; })) {
        state.SkipWithError("no readers listed");
        return;
    }
    // Shared, so that the baseline's own connection to the card stays possible.
    form.findChild<RadioGroup*>(QStringLiteral("RGConnectMode"))->setItemIndex(0);
    const int index = readers->findText(QStringLiteral("KALDOR TR-100"), Qt::MatchStartsWith);
    readers->setCurrentIndex(index);
    emit readers->activated(index);
    if (form.connection().card() == 0) {
        state.SkipWithError(
            ("not connected: " +
             form.findChild<QLineEdit*>(QStringLiteral("CurrentStateEdit"))->text().toStdString())
                .c_str());
        return;
    }
    // Fill the log to its limit with rows of the size a send writes.
    const std::string row(60, 'F');
    for (int i = 0; i < 65536 / 60 + 10; ++i) {
        form.appendLogLine(row);
    }
    form.findChild<QPlainTextEdit*>(QStringLiteral("RequestSmartCardRichEdit"))
        ->setPlainText(QStringLiteral("00 84 00 00 08"));
    for (auto _ : state) {
        form.SendSmartCardBitBtnClick();
    }
}
BENCHMARK(BM_SendPathLogFull)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
