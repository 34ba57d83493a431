// SPDX-License-Identifier: BSD-3-Clause
#include "auto_run.h"

#include "integer_text.h"

namespace tessary {

void AutoRun::RGRunModeClick() {
    const bool automatic = m_view.runModeIndex() == kAutomatic;
    m_view.setGenerateEnabled(!automatic);
    m_view.setIntervalEnabled(automatic);
    // Outside "Automatic" the flag is not consulted; set, it keeps sends from starting runs.
    m_autoRunActive = !automatic;
}

void AutoRun::EditCmdIntervalExit() {
    const std::string text = m_view.intervalText();
    const auto interval = IntegerOfText(text);
    if (!interval) {
        m_view.showErrorBox(NotAnIntegerText(text));
        return;
    }
    if (*interval < 1 || *interval > 9999) {
        // The timer keeps the interval it had.
        m_view.setIntervalText(std::to_string(kDefaultInterval));
        m_view.showErrorBox(m_view.intervalCaption() + " Range (1-9999)");
        return;
    }
    m_view.setTimerInterval(*interval * 10);
}

bool AutoRun::startsRun() {
    if (m_view.runModeIndex() != kAutomatic || m_autoRunActive) {
        return false;
    }
    m_autoRunActive = true;
    m_view.setSaveLoadEnabled(false);
    m_view.setAutoCmdTimer(true);
    return true;
}

void AutoRun::AutoCmdTimerTimer() {
    if (m_view.runModeIndex() == kManualOperation) {
        // This tick still sends; it is the last.
        m_view.setSaveLoadEnabled(true);
        m_view.setAutoCmdTimer(false);
    }
    if (m_queue.count() == 0) {
        end();
        return;
    }
    if (m_queue.selectedIndex() < 0) {
        m_queue.select(0);
    }
    m_queue.CmdListBoxClick();
    if (const auto failure = m_console.sendRequest()) {
        // Stopped before the box opens, so that no step runs under it.
        end();
        m_view.showErrorBox(*failure);
        return;
    }
    const int next = m_queue.selectedIndex() + 1;
    if (next < m_queue.count()) {
        m_queue.select(next);
    } else {
        end();
    }
}

void AutoRun::end() {
    m_view.setSaveLoadEnabled(true);
    m_view.setAutoCmdTimer(false);
    m_autoRunActive = false;
}

} // namespace tessary
