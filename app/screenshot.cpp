// tessary-screenshot PNG: drives the real window through a short scenario (connect to
// "KALDOR TR-100", send 00 84 00 00 08) and writes a picture of it. Run it under a
// display, e.g. xvfb-run, with the readers of a pcscd.
#include "Main_mem_pcsc.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include <cstdio>

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

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: tessary-screenshot PNG\n");
        return 2;
    }
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Tallix"));
    TForm1 form;
    form.show();
    auto* readers = form.findChild<QComboBox*>(QStringLiteral("ReaderComboBox"));
    if (!waitFor([&] { return readers->count() > 0; }, 5000)) {
        std::fprintf(stderr, "tessary-screenshot: no readers listed\n");
        return 1;
    }
    const int index = readers->findText(QStringLiteral("KALDOR TR-100"), Qt::MatchStartsWith);
    if (index < 0) {
        std::fprintf(stderr, "tessary-screenshot: no reader KALDOR TR-100\n");
        return 1;
    }
    readers->setCurrentIndex(index);
    emit readers->activated(index);
    form.findChild<QPlainTextEdit*>(QStringLiteral("RequestSmartCardRichEdit"))
        ->setPlainText(QStringLiteral("00 84 00 00 08"));
    form.findChild<QPushButton*>(QStringLiteral("SendSmartCardBitBtn"))->click();
    waitFor([] { return false; }, 300); // let it paint
    if (!form.grab().save(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "tessary-screenshot: cannot write %s\n", argv[1]);
        return 1;
    }
    form.close();
    return 0;
}
