// SPDX-License-Identifier: BSD-3-Clause
// The command queue's controls and the automatic run's, as their logic sees them.
#pragma once

#include "auto_run.h"
#include "command_queue.h"

class QTimer;
namespace Ui {
class TForm1;
}

class QueuePageView : public tessary::QueueView, public tessary::RunView {
public:
    QueuePageView(Ui::TForm1& ui, QTimer& autoCmdTimer) : m_ui(ui), m_timer(autoCmdTimer) {}

    // QueueView.
    std::string commandName() const override;
    void setCommandName(const std::string& name) override;
    void appendItem(const std::string& name) override;
    void clearItems() override;
    int selectedIndex() const override;
    void selectItem(int index) override;
    void disableAdd() override;
    void setSaveImage(const std::vector<std::string>& lines) override;
    void showMessage(const std::string& text) override;
    void showErrorBox(const std::string& text) override;

    // RunView.
    int runModeIndex() const override;
    void setGenerateEnabled(bool enabled) override;
    void setIntervalEnabled(bool enabled) override;
    std::string intervalText() const override;
    void setIntervalText(const std::string& text) override;
    std::string intervalCaption() const override;
    void setTimerInterval(int milliseconds) override;
    void setAutoCmdTimer(bool running) override;
    void setSaveLoadEnabled(bool enabled) override;

private:
    Ui::TForm1& m_ui;
    QTimer& m_timer;
};
