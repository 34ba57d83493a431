// SPDX-License-Identifier: BSD-3-Clause
// Tessary: the workbench's one window over the access and memory-card libraries.
#include "Main_mem_pcsc.h"
#include "command_line.h"
#include "cordrel_binding.h"
#include "dialogs.h"

#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <cstdio>
#include <exception>

int main(int argc, char** argv) {
    const tessary::CommandLine options = tessary::readCommandLine(argc, argv);
    if (options.exitStatus >= 0) {
        return options.exitStatus;
    }
    // The memory-card library is bound by ordinal before anything else: without every
    // ordinal the program does not start.
    tessary::CordrelBindings cordrel;
    std::string error;
    if (!tessary::BindCordrel(Cordrel_Ordinals, cordrel, error)) {
        std::fprintf(stderr, "Tessary: %s\n", error.c_str());
        return 1;
    }
    // For measuring and smoke tests: leave as soon as the window has first been shown.
    const bool exitWhenShown = options.exitWhenShown;
    // The application outlives the handlers below: the error box needs it.
    QApplication app(argc, argv);
    // Nobody answers a box then: each one the start opens (a start opens them only on a
    // failure, such as no PC/SC service) is told on stderr, closed at once, and makes the
    // program end with status 1.
    int status = 0;
    QTimer boxCloser;
    if (exitWhenShown) {
        QObject::connect(&boxCloser, &QTimer::timeout, [&status] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                std::fprintf(stderr, "Tessary: %s\n", box->text().toLocal8Bit().constData());
                box->done(QMessageBox::Ok);
                status = 1;
            }
        });
        boxCloser.start(20);
    }
    try {
        QCoreApplication::setApplicationName(QStringLiteral("Tallix"));
        TForm1 form(cordrel);
        if (options.memoryCardPages) {
            form.showMemoryCardTabs();
        }
        form.show();
        if (exitWhenShown) {
            QTimer::singleShot(0, &form, &QWidget::close);
        }
        app.exec();
    } catch (const std::exception& e) {
        // The program ends here: whoever started it learns that it failed.
        std::fprintf(stderr, "Tessary: %s\n", e.what());
        tessary::showErrorBox(QString::fromUtf8(e.what()));
        status = 1;
    } catch (...) {
        std::fputs("Tessary: Unknown exception\n", stderr);
        tessary::showErrorBox(QStringLiteral("Unknown exception"));
        status = 1;
    }
    return status;
}
