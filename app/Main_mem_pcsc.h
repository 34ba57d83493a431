// The main window: every control of the workbench, and the handlers that read and write
// them. What a handler does lives in the core; the window only carries it out, through
// the views of its pages.
#pragma once

#include "auto_run.h"
#include "command_queue.h"
#include "console_page.h"
#include "console_page_view.h"
#include "led_buzzer.h"
#include "led_buzzer_panel_view.h"
#include "queue_page_view.h"
#include "reader_connection.h"

#include <QTimer>
#include <QWidget>

#include <memory>

class QFileDialog;
namespace Ui {
class TForm1;
}

class TForm1 : public QWidget, public tessary::ReaderView {
    Q_OBJECT

public:
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    const tessary::ReaderConnection& connection() const { return m_connection; }
    tessary::CommandQueue& queue() { return m_queue; }
    const tessary::AutoRun& run() const { return m_run; }

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

    // ReaderView.
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

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    QFileDialog* cmdDialog(bool save);

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
    QFileDialog* m_saveCmdDialog = nullptr;
    QFileDialog* m_openCmdDialog = nullptr;
    QString m_saveFileName;
    QString m_openFileName;
    bool m_closed = false;
    bool m_centred = false;
};
