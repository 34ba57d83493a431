// The main window: every control of the workbench, and the handlers that read and write
// them. What a handler does lives in the core; the window only carries it out.
#pragma once

#include "console_page.h"
#include "reader_connection.h"

#include <QTimer>
#include <QWidget>

#include <memory>

namespace Ui {
class TForm1;
}

class TForm1 : public QWidget, public tessary::ReaderView, public tessary::ConsoleView {
    Q_OBJECT

public:
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    const tessary::ReaderConnection& connection() const { return m_connection; }

    // Window events.
    void FormCreate();
    void FormClose();
    void ReaderDetectTimerTimer();
    void ReaderComboBoxChange();
    void CkeckLengthBitBtnClick();
    void SendSmartCardBitBtnClick();
    void ClearSmartCardRequestBitBtnClick();
    void ClearSmartCardResponseBitBtnClick();

    // ReaderView and ConsoleView.
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
    std::string requestText() const override;
    void clearRequest() override;
    void setLengthField(const std::string& text) override;
    std::string lengthField() const override;
    void setCheckLength(const std::string& text) override;
    std::string checkLength() const override;
    void appendLogLine(const std::string& line) override;
    void enableAdd() override;
    void showConversionError(const std::string& text) override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    std::unique_ptr<Ui::TForm1> m_ui;
    QTimer* m_readerDetectTimer;
    QTimer* m_cardDetectTimer;
    QTimer* m_autoCmdTimer;
    tessary::ReaderConnection m_connection;
    tessary::ConsolePage m_console;
    bool m_centred = false;
};
