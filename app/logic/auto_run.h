// SPDX-License-Identifier: BSD-3-Clause
// The automatic run: in "Automatic" mode a press of "Transmit to card" starts a timer,
// and each tick sends the selected command of the queue and selects the next, until the
// last has been sent.
#pragma once

#include "command_queue.h"
#include "console_page.h"

#include <string>

namespace tessary {

inline constexpr int kAutomatic = 0;        // "Automatic"
inline constexpr int kManualOperation = 1;  // "Manual Operation"
inline constexpr int kDefaultInterval = 20; // x 10 ms

// What the run asks of the window.
class RunView {
public:
    virtual ~RunView() = default;
    virtual int runModeIndex() const = 0;
    virtual void setGenerateEnabled(bool enabled) = 0; // "Gen APDU"
    virtual void setIntervalEnabled(bool enabled) = 0;
    virtual std::string intervalText() const = 0;
    virtual void setIntervalText(const std::string& text) = 0;
    virtual std::string intervalCaption() const = 0; // the label before the field
    virtual void setTimerInterval(int milliseconds) = 0;
    virtual void setAutoCmdTimer(bool running) = 0;
    virtual void setSaveLoadEnabled(bool enabled) = 0;
    // The application's error box.
    virtual void showErrorBox(const std::string& text) = 0;
};

class AutoRun : public RunStarter {
public:
    AutoRun(RunView& view, CommandQueue& queue, ConsolePage& console)
        : m_view(view), m_queue(queue), m_console(console) {}

    void RGRunModeClick();
    void EditCmdIntervalExit();
    void AutoCmdTimerTimer(); // one step

    bool startsRun() override;
    bool autoRunActive() const { return m_autoRunActive; }

private:
    void end();

    RunView& m_view;
    CommandQueue& m_queue;
    ConsolePage& m_console;
    bool m_autoRunActive = true;
};

} // namespace tessary
