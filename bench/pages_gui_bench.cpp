// SPDX-License-Identifier: BSD-3-Clause
// The distance test's attempts per second with a card in range; and a whole SLE4428 read
// with its protect bits from its page against the library call alone on the window's own
// connection, with the page's own work apart and with the page shown and painted. All in
// the real window, offscreen.
#include "Main_mem_pcsc.h"
#include "cordrel.h"
#include "digit_mask_edit.h"
#include "radio_group.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTimer>

#include <array>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

#include <unistd.h>

namespace {

template <typename T>
T* control(TForm1& form, const char* name) {
    return form.findChild<T*>(QString::fromLatin1(name));
}

// Picks the listed reader whose name starts with `configured`; false when there is none.
bool pick(TForm1& form, const QString& configured) {
    auto* readers = control<QComboBox>(form, "ReaderComboBox");
    QElapsedTimer clock;
    clock.start();
    while (readers->count() == 0 && clock.elapsed() < 5000) {
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    const int index = readers->findText(configured + QLatin1Char(' '), Qt::MatchStartsWith);
    if (index < 0) {
        return false;
    }
    readers->setCurrentIndex(index);
    emit readers->activated(index);
    return true;
}

// Each iteration lets the test run for three seconds on "KALDOR RF-9000", whose card stays
// in range; the rate is taken between the first and the last attempt of the iteration.
void BM_DistanceTestAttempts(benchmark::State& state) {
    TForm1 form;
    control<QCheckBox>(form, "CB_CardDetect")->setChecked(true);
    if (!pick(form, QStringLiteral("KALDOR RF-9000"))) {
        state.SkipWithError("no reader KALDOR RF-9000");
        return;
    }
    auto* timer = form.findChild<QTimer*>(QStringLiteral("Timer_CardDetect"));
    const auto* log = control<QPlainTextEdit>(form, "LogSmartCardRichEdit");
    QElapsedTimer clock;
    std::vector<double> ticks; // s; connected after the window's own handler
    QObject::connect(timer, &QTimer::timeout,
                     [&] { ticks.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e9); });
    double attempts = 0;
    double seconds = 0;
    double found = 0;
    for (auto _ : state) {
        form.ClearSmartCardResponseBitBtnClick();
        ticks.clear();
        clock.start();
        QEventLoop loop;
        QTimer::singleShot(3000, &loop, &QEventLoop::quit);
        loop.exec();
        state.SetIterationTime(static_cast<double>(clock.nsecsElapsed()) / 1e9);
        if (ticks.size() < 2) {
            state.SkipWithError("no attempts");
            return;
        }
        attempts += static_cast<double>(ticks.size() - 1);
        seconds += ticks.back() - ticks.front();
        found += log->toPlainText().isEmpty() ? 0 : log->document()->blockCount();
    }
    state.counters["attempts_per_s"] = attempts / seconds;
    // ATR lines per attempt: 1 when every attempt found the card.
    state.counters["found_per_attempt"] =
        found / (attempts + static_cast<double>(state.iterations()));
}
BENCHMARK(BM_DistanceTestAttempts)
    ->Iterations(1)
    ->Repetitions(3)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

// Stands in for the library's read, to time the page's own work.
LONG readInPlace(SCARDHANDLE, uint8_t* data, uint8_t* protect, uint32_t address, uint32_t* count) {
    for (uint32_t i = 0; i < *count; ++i) {
        data[i] = static_cast<uint8_t>(address + i);
        protect[i] = 1;
    }
    return 0;
}

// A window with its SLE4428 page set for "Read Mem_P" of the whole card: connected to
// "Memory 4428" (which a Readername.txt in a folder of its own names), or bound to the
// stand-in read. Made once, so that the page and the library call run interleaved on one
// connection.
class Sle4428Page {
public:
    explicit Sle4428Page(bool standIn) {
        if (!standIn) {
            m_previous = std::filesystem::current_path();
            m_folder = std::filesystem::temp_directory_path() /
                       ("tessary-bench-pages-" + std::to_string(::getpid()));
            std::filesystem::create_directories(m_folder);
            std::filesystem::current_path(m_folder);
            std::ofstream("Readername.txt", std::ios::binary) << "Memory 4428\r\n";
        }
        tessary::CordrelBindings cordrel = tessary::LibraryCordrel();
        if (standIn) {
            cordrel.readWithProtect4428 = &readInPlace;
        }
        m_form = std::make_unique<TForm1>(cordrel);
        m_form->showMemoryCardTabs();
        if (!standIn &&
            (!pick(*m_form, QStringLiteral("Memory 4428")) || m_form->connection().card() == 0)) {
            m_form.reset();
            return;
        }
        control<RadioGroup>(*m_form, "Check1828RadioGroup")->setItemIndex(1); // "SLE 4428"
        m_form->Check1828RadioGroupClick();
        m_form->BitBtn4442Click(9); // "Read Mem_P"
        control<DigitMaskEdit>(*m_form, "StartAddrSle1828MaskEdit")->setFieldText("0");
        control<DigitMaskEdit>(*m_form, "DataLenSle1828MaskEdit")->setFieldText("1024");
        control<QTabWidget>(*m_form, "MemCardPageControl")
            ->setCurrentWidget(control<QWidget>(*m_form, "TabSheetSLE4428"));
    }
    ~Sle4428Page() {
        m_form.reset();
        if (!m_folder.empty()) {
            std::filesystem::current_path(m_previous);
            std::filesystem::remove_all(m_folder);
        }
    }
    TForm1* form() { return m_form.get(); }

private:
    std::filesystem::path m_previous;
    std::filesystem::path m_folder;
    std::unique_ptr<TForm1> m_form;
};

std::unique_ptr<Sle4428Page> g_connected;

TForm1* connectedPage(benchmark::State& state) {
    if (!g_connected) {
        g_connected = std::make_unique<Sle4428Page>(false);
    }
    if (g_connected->form() == nullptr) {
        state.SkipWithError("not connected to Memory 4428; start the readers with scripts/bench");
    }
    return g_connected->form();
}

void readFromPage(benchmark::State& state, TForm1& form, bool shown) {
    auto* status = control<QLineEdit>(form, "CurrentStateEdit");
    form.setVisible(shown);
    QApplication::processEvents();
    for (auto _ : state) {
        form.SendSle2818BitBtnClick();
        if (shown) {
            // Scrolled to the new rows and painted, as the operator sees them.
            QApplication::processEvents();
        }
    }
    form.hide();
    if (status->text() != QStringLiteral("SLE4428_Read_Data_With_Protect_Bit Success")) {
        state.SkipWithError(status->text().toStdString().c_str());
    }
}

// SEND of the page, the window not shown, as the other window benchmarks time a handler.
void BM_Sle4428ReadProtectPage(benchmark::State& state) {
    if (TForm1* form = connectedPage(state)) {
        readFromPage(state, *form, false);
    }
}
BENCHMARK(BM_Sle4428ReadProtectPage)->UseRealTime()->Unit(benchmark::kMicrosecond);

// The same with the page shown and painted after each SEND.
void BM_Sle4428ReadProtectPageShown(benchmark::State& state) {
    if (TForm1* form = connectedPage(state)) {
        readFromPage(state, *form, true);
    }
}
BENCHMARK(BM_Sle4428ReadProtectPageShown)->UseRealTime()->Unit(benchmark::kMicrosecond);

void BM_Sle4428ReadProtectLibrary(benchmark::State& state) {
    TForm1* form = connectedPage(state);
    if (form == nullptr) {
        return;
    }
    std::array<uint8_t, 1025> data;
    std::array<uint8_t, 1025> protect;
    for (auto _ : state) {
        uint32_t count = 1024;
        if (SLE4428_Read_Data_With_Protect_Bit(form->connection().card(), data.data(),
                                               protect.data(), 0, &count) != 0 ||
            count != 1024) {
            state.SkipWithError("read failed");
            break;
        }
    }
}
BENCHMARK(BM_Sle4428ReadProtectLibrary)->UseRealTime()->Unit(benchmark::kMicrosecond);

// The page's own work: the checks, the result lines and the log, with the read standing in.
void BM_Sle4428ReadProtectPageOwnWork(benchmark::State& state) {
    Sle4428Page page(true);
    readFromPage(state, *page.form(), false);
}
BENCHMARK(BM_Sle4428ReadProtectPageOwnWork)->Unit(benchmark::kMicrosecond);

} // namespace

namespace pagesbench {

// The window made once outlives no benchmark: closed before the application ends.
void release() {
    g_connected.reset();
}

} // namespace pagesbench
