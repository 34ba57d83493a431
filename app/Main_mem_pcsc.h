// SPDX-License-Identifier: BSD-3-Clause
// The main window: every control of the workbench, and the handlers that read and write
// them. What a handler does lives in the core; the window only carries it out, through
// the views of its pages.
#pragma once

#include "auto_run.h"
#include "card_detect.h"
#include "command_queue.h"
#include "console_page.h"
#include "console_page_view.h"
#include "led_buzzer.h"
#include "led_buzzer_panel_view.h"
#include "memcard_pages.h"
#include "memcard_pages_view.h"
#include "queue_page_view.h"
#include "reader_connection.h"

#include <QTimer>
#include <QWidget>

#include <memory>

class QFileDialog;
namespace Ui {
class TForm1;
}

class TForm1 : public QWidget, public tessary::ReaderView, public tessary::CardDetectView {
    Q_OBJECT

public:
    // The memory-card pages call the exports the program bound by ordinal; without
    // bindings of its own the window binds them from the library's ordinal table.
    explicit TForm1(QWidget* parent = nullptr);
    explicit TForm1(const tessary::CordrelBindings& cordrel, QWidget* parent = nullptr);
    ~TForm1() override;

    // Shows the tabs of the two memory-card pages, which creating the window hides.
    void showMemoryCardTabs();

    const tessary::ReaderConnection& connection() const { return m_connection; }
    tessary::CommandQueue& queue() { return m_queue; }
    const tessary::AutoRun& run() const { return m_run; }
    const tessary::MemCardPages& memoryCards() const { return m_memCards; }

    // Window events.
    void FormCreate();
    void FormClose();
    void ReaderDetectTimerTimer();
    void ReaderComboBoxChange();
    // The console.
    void CkeckLengthBitBtnClick();
    void SendSmartCardBitBtnClick();
    void ClearSmartCardRequestBitBtnClick();
    void ClearSmartCardResponseBitBtnClick();
    // The queue and the automatic run.
    void AddCmdBitBtnClick();
    void CmdListBoxClick();
    void SaveCmdBitBtnClick();
    void LoadCmdBitBtnClick();
    void SaveCmdDialogCanClose(const QString& fileName);
    void OpenCmdDialogCanClose(const QString& fileName);
    void SaveCmdDialogClose(bool confirmed);
    void OpenCmdDialogClose(bool confirmed);
    void RGRunModeClick();
    void EditCmdIntervalExit();
    void AutoCmdTimerTimer();
    // The LED and buzzer generator.
    void BitBtn_CommonCmdClick();
    void cbBuzzerClick();
    void EditOnDutyExit();
    void EditOffDutyExit();
    void EditRepetitionExit();
    // The memory-card pages.
    void Check3242RadioGroupClick();
    void Check1828RadioGroupClick();
    void SLE4432CheckBoxClick();
    void SLE4418CheckBoxClick();
    void BitBtn4442Click(uint16_t tag);
    void SendBitBtnClick();
    void SendSle2818BitBtnClick();
    void ClearBitBtnClick();
    void ClearSle1828BitBtnClick();
    // The distance test.
    void CB_CardDetectClick();
    void Timer_CardDetectTimer();

    // ReaderView, and CardDetectView where they share a name.
    void setStatus(const std::string& text) override;
    void showMessage(const std::string& text) override;
    void appendReader(const std::string& name) override;
    std::string readerText() const override;
    int readerIndex() const override;
    void clearLog() override;
    void insertLogLineAtTop(const std::string& line) override;
    bool cardDetectTicked() const override;
    int connectModeIndex() const override;
    void setReaderDetectTimer(bool running) override;
    void setCardDetectTimer(bool running) override;
    void hideMemoryCardTabs() override;
    void showPanels() override;
    void setMaxLengthCaption(const std::string& caption) override;
    // CardDetectView.
    void setDetectInputEnabled(bool enabled) override;
    bool processPendingEvents() override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    QFileDialog* cmdDialog(bool save);
    void wireMemoryCardPages();

    std::unique_ptr<Ui::TForm1> m_ui;
    QTimer* m_readerDetectTimer;
    QTimer* m_cardDetectTimer;
    QTimer* m_autoCmdTimer;
    tessary::ReaderConnection m_connection;
    ConsolePageView m_consoleView;
    tessary::ConsolePage m_console;
    QueuePageView m_queueView;
    tessary::CommandQueue m_queue;
    tessary::AutoRun m_run;
    LedBuzzerPanelView m_ledView;
    tessary::LedBuzzerPanel m_led;
    MemCardPagesView m_memCardView;
    tessary::MemCardPages m_memCards;
    tessary::CardDetect m_cardDetect;
    QFileDialog* m_saveCmdDialog = nullptr;
    QFileDialog* m_openCmdDialog = nullptr;
    QString m_saveFileName;
    QString m_openFileName;
    bool m_closed = false;
    bool m_centred = false;
};
