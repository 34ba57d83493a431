#include "gui_support.h"

#include <QComboBox>
#include <QElapsedTimer>

namespace guitest {

bool waitUntil(const std::function<bool()>& done, int milliseconds) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > milliseconds) {
            return false;
        }
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

void settle(int milliseconds) {
    waitUntil([] { return false; }, milliseconds);
}

ModalCloser::ModalCloser() {
    m_timer.setInterval(10);
    QObject::connect(&m_timer, &QTimer::timeout, [this] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            m_seen.push_back({box->windowTitle(), box->text(), box->icon()});
            box->done(QMessageBox::Ok);
        }
    });
    m_timer.start();
}

bool pickReader(TForm1& form, const std::string& configuredName) {
    auto* readers = child<QComboBox>(form, "ReaderComboBox");
    if (!waitUntil([&] { return readers->count() > 0; })) {
        return false;
    }
    const int index =
        readers->findText(QString::fromStdString(configuredName + " "), Qt::MatchStartsWith);
    if (index < 0) {
        return false;
    }
    readers->setCurrentIndex(index);
    emit readers->activated(index);
    return true;
}

} // namespace guitest
