// SPDX-License-Identifier: BSD-3-Clause
// A long run of the real window, offscreen: automatic runs of a full queue (100 commands)
// one after another at the shortest interval, 10 ms, with the data log full, against the
// private pcscd that scripts/soak starts. It reports the sends, the failed sends, the
// resident memory and the open file descriptors at the start and at the end.
//
// usage: tessary_soak [SECONDS]   (without SECONDS: 1000 runs, 100,000 sends)
#include "Main_mem_pcsc.h"
#include "limited_text_edit.h"
#include "radio_group.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListWidget>
#include <QTextBlock>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <unistd.h>

namespace {

constexpr int kQueueSize = 100;
constexpr int kDefaultRuns = 1000;
constexpr long kGoalGrowthKiB = 2048;

long residentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.starts_with("VmRSS:")) {
            return std::strtol(line.c_str() + 6, nullptr, 10);
        }
    }
    return -1;
}

long openDescriptors() {
    const std::filesystem::path fds("/proc/self/fd");
    return static_cast<long>(std::distance(std::filesystem::directory_iterator(fds),
                                           std::filesystem::directory_iterator()));
}

// The failed sends of the run just ended: its 100 send lines are the last in the log,
// each followed by its receive line, which names the status code when the send failed.
int failedSendsOfLastRun(QPlainTextEdit* log) {
    int sends = 0;
    int failed = 0;
    for (QTextBlock block = log->document()->lastBlock(); block.isValid() && sends < kQueueSize;
         block = block.previous()) {
        const QString text = block.text();
        if (text.startsWith(QStringLiteral("Send Data: "))) {
            ++sends;
        } else if (text.endsWith(QStringLiteral(" of Receive Data."))) {
            ++failed;
        }
    }
    return failed;
}

bool waitUntil(const std::function<bool()>& done, int milliseconds) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < milliseconds) {
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return done();
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    const long seconds = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 0;

    // A folder of its own and no trace: the run measures the window, not a growing file.
    const auto folder =
        std::filesystem::temp_directory_path() / ("tessary-soak-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    std::filesystem::current_path(folder);
    {
        std::ofstream queue("queue.txt", std::ios::binary);
        for (int i = 0; i < kQueueSize; ++i) {
            queue << "Get Challenge " << i << "\r\n  5\r\n00 84 00 00 08\r\n\r\n";
        }
    }

    TForm1 form;
    form.show();
    auto* readers = form.findChild<QComboBox*>(QStringLiteral("ReaderComboBox"));
    if (!waitUntil([&] { return readers->count() > 0; }, 5000)) {
        std::fprintf(stderr, "tessary_soak: no reader listed\n");
        return 2;
    }
    const int index = readers->findText(QStringLiteral("KALDOR TR-100"), Qt::MatchStartsWith);
    readers->setCurrentIndex(index);
    emit readers->activated(index);
    if (form.connection().card() == 0) {
        std::fprintf(stderr, "tessary_soak: not connected to KALDOR TR-100\n");
        return 2;
    }
    auto* log = form.findChild<LimitedTextEdit*>(QStringLiteral("LogSmartCardRichEdit"));
    const QString row(60, QLatin1Char('F'));
    for (int i = 0; i < 65536 / 60 + 10; ++i) {
        log->appendLine(row);
    }
    form.queue().Load("queue.txt");
    form.findChild<RadioGroup*>(QStringLiteral("RGRunMode"))->setItemIndex(0);
    form.RGRunModeClick();
    form.findChild<QLineEdit*>(QStringLiteral("EditCmdInterval"))->setText(QStringLiteral("1"));
    form.EditCmdIntervalExit();
    auto* list = form.findChild<QListWidget*>(QStringLiteral("CmdListBox"));

    long sends = 0;
    long failed = 0;
    const auto oneRun = [&] {
        list->setCurrentRow(0);
        form.SendSmartCardBitBtnClick(); // starts the run
        while (form.run().autoRunActive()) {
            QApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
        sends += list->currentRow() + 1;
        failed += failedSendsOfLastRun(log);
    };
    const long firstKiB = residentKiB();
    // The first run settles what the window makes once (fonts, caches, pools); the figures
    // of the start are taken after it.
    oneRun();
    const long startKiB = residentKiB();
    const long startFds = openDescriptors();
    std::printf("start: resident %ld KiB (%ld KiB before the first run), %ld open descriptors\n",
                startKiB, firstKiB, startFds);
    std::fflush(stdout);

    QElapsedTimer clock;
    clock.start();
    int runs = 1;
    qint64 reported = 0;
    while (seconds > 0 ? clock.elapsed() < seconds * 1000 : runs < kDefaultRuns) {
        oneRun();
        ++runs;
        if (clock.elapsed() - reported >= 60000) {
            reported = clock.elapsed();
            std::printf("%4lld s: %ld sends, %ld failed, resident %ld KiB, %ld open descriptors\n",
                        reported / 1000, sends, failed, residentKiB(), openDescriptors());
            std::fflush(stdout);
        }
    }
    const long endKiB = residentKiB();
    const long endFds = openDescriptors();
    const double elapsed = static_cast<double>(clock.elapsed()) / 1000.0;
    std::printf("end: %d runs, %ld sends (%.1f per second), %ld failed, resident %ld KiB "
                "(%+ld KiB), %ld open descriptors (%+ld)\n",
                runs, sends, static_cast<double>(sends - kQueueSize) / elapsed, failed, endKiB,
                endKiB - startKiB, endFds, endFds - startFds);
    form.close();
    std::filesystem::current_path("/");
    std::filesystem::remove_all(folder);
    const bool met = failed == 0 && endKiB - startKiB < kGoalGrowthKiB && endFds <= startFds;
    std::printf("%s: no failed send, memory growth under %ld KiB, no descriptor growth\n",
                met ? "goal met" : "goal MISSED", kGoalGrowthKiB);
    return met ? 0 : 1;
}
