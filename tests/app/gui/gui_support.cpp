#include "gui_support.h"

#include "sim_pcscd.h"

#include <QComboBox>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <fstream>
#include <unistd.h>

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

ModalCloser::ModalCloser(int holdFor) : m_holdFor(holdFor) {
    m_timer.setInterval(10);
    QObject::connect(&m_timer, &QTimer::timeout, [this] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) {
            return;
        }
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        if (box != m_open) {
            m_open = box;
            m_openedAt = now;
            m_seen.push_back({box->windowTitle(), box->text(), box->icon()});
            if (onOpen) {
                onOpen();
            }
        }
        if (now - m_openedAt >= m_holdFor) {
            if (onClose) {
                onClose();
            }
            m_open = nullptr;
            box->done(QMessageBox::Ok);
        }
    });
    m_timer.start();
}

FileDialogAnswer::FileDialogAnswer(const QString& fileName) {
    m_timer.setInterval(10);
    QObject::connect(&m_timer, &QTimer::timeout, [this, fileName] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr) {
            return;
        }
        if (m_answered) {
            // A dialog that did not take the answer fails the test instead of hanging it.
            if (++m_pollsSince > 200) {
                dialog->reject();
            }
            return;
        }
        m_answered = true;
        title = dialog->windowTitle();
        filters = dialog->nameFilters();
        if (fileName.isEmpty()) {
            dialog->reject();
        } else {
            // Typed as the operator does: selecting a file races the dialog's listing of
            // its folder.
            auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            name->setText(fileName);
            QTest::keyClick(name, Qt::Key_Return);
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

void WindowTest::SetUp() {
    simtest::restoreDefaultCards();
    m_previous = std::filesystem::current_path();
    m_folder =
        std::filesystem::temp_directory_path() / ("tessary-gui-" + std::to_string(::getpid()));
    std::filesystem::create_directories(m_folder);
    std::filesystem::current_path(m_folder);
    std::ofstream("PcScLog.txt");
    m_form = std::make_unique<TForm1>();
    m_form->show();
}

void WindowTest::TearDown() {
    m_form.reset();
    std::filesystem::current_path(m_previous);
    std::filesystem::remove_all(m_folder);
}

QString WindowTest::status() {
    return get<QLineEdit>("CurrentStateEdit")->text();
}

QString WindowTest::log() {
    return get<QPlainTextEdit>("LogSmartCardRichEdit")->toPlainText();
}

QStringList WindowTest::logLines() {
    return log().split(QLatin1Char('\n'));
}

void WindowTest::type(const QString& request) {
    auto* field = get<QPlainTextEdit>("RequestSmartCardRichEdit");
    field->clear();
    QTest::keyClicks(field, request);
}

void WindowTest::click(const char* button) {
    QTest::mouseClick(get<QPushButton>(button), Qt::LeftButton);
}

void WindowTest::connectMode(int index) {
    QTest::mouseClick(get<QRadioButton>(("RGConnectModeItem" + std::to_string(index)).c_str()),
                      Qt::LeftButton, {}, QPoint(6, 8));
}

void WindowTest::runMode(int index) {
    QTest::mouseClick(get<QRadioButton>(("RGRunModeItem" + std::to_string(index)).c_str()),
                      Qt::LeftButton, {}, QPoint(6, 8));
}

std::string WindowTest::trace() {
    std::ifstream in(m_folder / "PcScLog.txt", std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

} // namespace guitest
