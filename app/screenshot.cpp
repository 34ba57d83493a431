// SPDX-License-Identifier: BSD-3-Clause
// tessary-screenshot PNG [QUEUE-PNG [SLE4442-PNG]]: drives the real window through a short
// scenario and writes pictures of it. The first: connected to "KALDOR TR-100", after
// sending 00 84 00 00 08. The second: a command queue loaded from a file and run
// automatically, and the LED and buzzer panel filled in with its command generated into
// the console. The third: the memory-card pages shown, connected to the SLE4442 card in
// "Generic Reader" (which a Readername.txt in the current folder names), after reading
// its first 32 bytes on the SLE4442 page. Run it under a display, e.g. xvfb-run, with the
// readers of a pcscd, in a folder where it may write a queue file.
#include "Main_mem_pcsc.h"
#include "digit_mask_edit.h"
#include "radio_group.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>

#include <cstdio>
#include <fstream>

namespace {

// Lets the window work until `done` holds or the time is up.
template <typename Done>
bool waitFor(Done done, int milliseconds) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < milliseconds) {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return done();
}

template <typename T>
T* control(TForm1& form, const char* name) {
    return form.findChild<T*>(QString::fromLatin1(name));
}

bool save(TForm1& form, const char* file) {
    waitFor([] { return false; }, 300); // let it paint
    if (!form.grab().save(QString::fromLocal8Bit(file))) {
        std::fprintf(stderr, "tessary-screenshot: cannot write %s\n", file);
        return false;
    }
    return true;
}

// A queue of four commands, run once in "Automatic" mode; then, back in "Manual
// Operation", LEDs 1 and 4 blinking with the buzzer in "Tone 3", generated.
void queueAndGenerator(TForm1& form) {
    std::ofstream("demo-queue.txt", std::ios::binary)
        << "Select MF\r\n  7\r\n00 A4 00 00 02 3F 00\r\n\r\n"
           "Get Challenge\r\n  5\r\n00 84 00 00 08\r\n\r\n"
           "Select EF 2F02\r\n  7\r\n00 A4 02 00 02 2F 02\r\n\r\n"
           "Read Binary\r\n  5\r\n00 B0 00 00 04\r\n\r\n";
    form.queue().Load("demo-queue.txt");
    auto* runMode = control<RadioGroup>(form, "RGRunMode");
    runMode->setItemIndex(0);
    form.RGRunModeClick();
    control<QPushButton>(form, "SendSmartCardBitBtn")->click();
    waitFor([&] { return !form.run().autoRunActive(); }, 5000);
    runMode->setItemIndex(1);
    form.RGRunModeClick();
    control<QCheckBox>(form, "cbLed1")->setChecked(true);
    control<QCheckBox>(form, "cbLed4")->setChecked(true);
    control<RadioGroup>(form, "RG_LedMode")->setItemIndex(1);
    control<QCheckBox>(form, "cbBuzzer")->setChecked(true);
    control<QComboBox>(form, "ComboBoxTone")->setCurrentIndex(2);
    control<QLineEdit>(form, "EditOnDuty")->setText(QStringLiteral("10"));
    control<QLineEdit>(form, "EditOffDuty")->setText(QStringLiteral("5"));
    control<QLineEdit>(form, "EditRepetition")->setText(QStringLiteral("3"));
    control<QPushButton>(form, "BitBtn_CommonCmd")->click();
}

bool pick(TForm1& form, const QString& reader) {
    auto* readers = control<QComboBox>(form, "ReaderComboBox");
    const int index = readers->findText(reader, Qt::MatchStartsWith);
    if (index < 0) {
        std::fprintf(stderr, "tessary-screenshot: no reader %s\n", qPrintable(reader));
        return false;
    }
    readers->setCurrentIndex(index);
    emit readers->activated(index);
    return true;
}

// The SLE4442 page after "Read Main" of 32 bytes from address 0.
bool sle4442Read(TForm1& form) {
    form.showMemoryCardTabs();
    auto* status = control<QLineEdit>(form, "CurrentStateEdit");
    // pcscd sees a card inserted just before the start at its next poll.
    bool connected = false;
    for (int attempt = 0; attempt < 50 && !connected; ++attempt) {
        if (!pick(form, QStringLiteral("Generic Reader"))) {
            return false;
        }
        connected = status->text() == QStringLiteral("Initial Reader Successed") ||
                    waitFor([] { return false; }, 100);
    }
    if (!connected) {
        std::fprintf(stderr, "tessary-screenshot: no SLE4442 card in Generic Reader: %s\n",
                     qPrintable(status->text()));
        return false;
    }
    auto* pages = control<QTabWidget>(form, "MemCardPageControl");
    pages->setCurrentWidget(control<QWidget>(form, "TabSheetSLE4442"));
    control<RadioGroup>(form, "Check3242RadioGroup")->setItemIndex(1); // "SLE 4442"
    form.Check3242RadioGroupClick();
    control<QPushButton>(form, "BitBtn1")->click(); // "Read Main"
    control<DigitMaskEdit>(form, "StartaddrMaskEdit")->setFieldText(QStringLiteral("0"));
    control<DigitMaskEdit>(form, "DataLenMaskEdit")->setFieldText(QStringLiteral("32"));
    control<QPushButton>(form, "SendBitBtn")->click();
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 4) {
        std::fprintf(stderr, "usage: tessary-screenshot PNG [QUEUE-PNG [SLE4442-PNG]]\n");
        return 2;
    }
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Tallix"));
    TForm1 form;
    form.show();
    auto* readers = control<QComboBox>(form, "ReaderComboBox");
    if (!waitFor([&] { return readers->count() > 0; }, 5000)) {
        std::fprintf(stderr, "tessary-screenshot: no readers listed\n");
        return 1;
    }
    if (!pick(form, QStringLiteral("KALDOR TR-100"))) {
        return 1;
    }
    control<QPlainTextEdit>(form, "RequestSmartCardRichEdit")
        ->setPlainText(QStringLiteral("00 84 00 00 08"));
    control<QPushButton>(form, "SendSmartCardBitBtn")->click();
    if (!save(form, argv[1])) {
        return 1;
    }
    if (argc >= 3) {
        queueAndGenerator(form);
        if (!save(form, argv[2])) {
            return 1;
        }
    }
    if (argc == 4 && (!sle4442Read(form) || !save(form, argv[3]))) {
        return 1;
    }
    form.close();
    return 0;
}
