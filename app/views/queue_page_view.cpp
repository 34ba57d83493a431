// SPDX-License-Identifier: BSD-3-Clause
#include "queue_page_view.h"

#include "dialogs.h"
#include "ui_Main_mem_pcsc.h"

#include <QSignalBlocker>
#include <QTimer>

std::string QueuePageView::commandName() const {
    return m_ui.CmdNameEdit->text().toStdString();
}

void QueuePageView::setCommandName(const std::string& name) {
    m_ui.CmdNameEdit->setText(QString::fromStdString(name));
}

void QueuePageView::appendItem(const std::string& name) {
    m_ui.CmdListBox->addItem(QString::fromStdString(name));
}

void QueuePageView::clearItems() {
    const QSignalBlocker block(m_ui.CmdListBox);
    m_ui.CmdListBox->clear();
}

int QueuePageView::selectedIndex() const {
    return m_ui.CmdListBox->currentRow();
}

void QueuePageView::selectItem(int index) {
    // The program's selection is no click of the operator's.
    const QSignalBlocker block(m_ui.CmdListBox);
    m_ui.CmdListBox->setCurrentRow(index);
}

void QueuePageView::disableAdd() {
    m_ui.AddCmdBitBtn->setEnabled(false);
}

void QueuePageView::setSaveImage(const std::vector<std::string>& lines) {
    m_ui.BackCmdListBox->clear();
    for (const std::string& line : lines) {
        m_ui.BackCmdListBox->addItem(QString::fromStdString(line));
    }
}

void QueuePageView::showMessage(const std::string& text) {
    tessary::showMessage(QString::fromStdString(text));
}

void QueuePageView::showErrorBox(const std::string& text) {
    tessary::showErrorBox(QString::fromStdString(text));
}

int QueuePageView::runModeIndex() const {
    return m_ui.RGRunMode->itemIndex();
}

void QueuePageView::setGenerateEnabled(bool enabled) {
    m_ui.BitBtn_CommonCmd->setEnabled(enabled);
}

void QueuePageView::setIntervalEnabled(bool enabled) {
    m_ui.EditCmdInterval->setEnabled(enabled);
}

std::string QueuePageView::intervalText() const {
    return m_ui.EditCmdInterval->text().toStdString();
}

void QueuePageView::setIntervalText(const std::string& text) {
    m_ui.EditCmdInterval->setText(QString::fromStdString(text));
}

std::string QueuePageView::intervalCaption() const {
    return m_ui.Label_CmdInterval->text().toStdString();
}

void QueuePageView::setTimerInterval(int milliseconds) {
    m_timer.setInterval(milliseconds);
}

void QueuePageView::setAutoCmdTimer(bool running) {
    running ? m_timer.start() : m_timer.stop();
}

void QueuePageView::setSaveLoadEnabled(bool enabled) {
    m_ui.SaveCmdBitBtn->setEnabled(enabled);
    m_ui.LoadCmdBitBtn->setEnabled(enabled);
}
