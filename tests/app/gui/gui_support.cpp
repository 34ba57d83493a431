// SPDX-License-Identifier: BSD-3-Clause
#include "gui_support.h"

#include "sim_pcscd.h"

#include <QComboBox>
#include <QElapsedTimer>
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
    if (m_defaultCards) {
        simtest::restoreDefaultCards();
    }
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
