// SPDX-License-Identifier: BSD-3-Clause
#include "console_page_view.h"

#include "dialogs.h"
#include "ui_Main_mem_pcsc.h"

std::string ConsolePageView::requestText() const {
    // A line break takes the two positions of CR LF in the request's positional rules.
    QString text = m_ui.RequestSmartCardRichEdit->toPlainText();
    text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    return text.toStdString();
}

void ConsolePageView::clearRequest() {
    m_ui.RequestSmartCardRichEdit->clear();
}

void ConsolePageView::setRequestText(const std::string& text) {
    m_ui.RequestSmartCardRichEdit->setPlainText(QString::fromStdString(text));
}

void ConsolePageView::setLengthField(const std::string& text) {
    // Three positions: what does not fit is not kept.
    m_ui.LengthSmartCardMaskEdit->setFieldText(QString::fromStdString(text).left(3));
}

std::string ConsolePageView::lengthField() const {
    return m_ui.LengthSmartCardMaskEdit->fieldText().toStdString();
}

void ConsolePageView::setCheckLength(const std::string& text) {
    m_ui.CheckLengthMaskEdit->setText(QString::fromStdString(text));
}

std::string ConsolePageView::checkLength() const {
    return m_ui.CheckLengthMaskEdit->text().toStdString();
}

void ConsolePageView::setStatus(const std::string& text) {
    m_ui.CurrentStateEdit->setText(QString::fromStdString(text));
}

void ConsolePageView::appendLogLine(const std::string& line) {
    m_ui.LogSmartCardRichEdit->appendLine(QString::fromStdString(line));
}

void ConsolePageView::clearLog() {
    m_ui.LogSmartCardRichEdit->clear();
}

void ConsolePageView::enableAdd() {
    m_ui.AddCmdBitBtn->setEnabled(true);
}

void ConsolePageView::showConversionError(const std::string& text) {
    tessary::showErrorBox(QString::fromStdString(text));
}

int ConsolePageView::connectModeIndex() const {
    return m_ui.RGConnectMode->itemIndex();
}
