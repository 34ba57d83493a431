// Tessary: the workbench's one window over the access and memory-card libraries.
#include "Main_mem_pcsc.h"
#include "cordrel_binding.h"
#include "dialogs.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <exception>

int main(int argc, char** argv) {
    // The memory-card library is bound by ordinal before anything else: without every
    // ordinal the program does not start.
    tessary::CordrelBindings cordrel;
    std::string error;
    if (!tessary::BindCordrel(Cordrel_Ordinals, cordrel, error)) {
        std::fprintf(stderr, "Tessary: %s\n", error.c_str());
        return 1;
    }
    // For measuring and smoke tests: leave as soon as the window has first been shown.
    bool exitWhenShown = false;
    for (int i = 1; i < argc; ++i) {
        exitWhenShown = exitWhenShown || std::strcmp(argv[i], "--exit-when-shown") == 0;
    }
    try {
        QApplication app(argc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("Tallix"));
        TForm1 form;
        form.show();
        if (exitWhenShown) {
            QTimer::singleShot(0, &form, &QWidget::close);
        }
        app.exec();
    } catch (const std::exception& e) {
        tessary::showErrorBox(QString::fromUtf8(e.what()));
    }
    return 0;
}
