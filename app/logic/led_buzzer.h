// SPDX-License-Identifier: BSD-3-Clause
// The reader's LED and buzzer command, and the panel that composes it into the console:
// FF E1 02 01 0C, then four groups A0 FC <control>, A0 FD <on-time>, A0 FE <off-time>,
// A0 FF <repetitions>.
#pragma once

#include "command_queue.h"
#include "console_page.h"

#include <array>
#include <cstdint>
#include <string>

namespace tessary {

using LedBuzzerCommand = std::array<uint8_t, 17>;

struct LedBuzzerSettings {
    std::array<bool, 4> leds{}; // LED 1 blue, 2 yellow, 3 green, 4 red
    bool blinking = false;
    bool buzzer = false;
    int tone = 0;        // "Tone 1" to "Tone 4" as 0 to 3; none selected as -1
    int32_t onTime = 4;  // x 20 ms
    int32_t offTime = 4; // x 20 ms
    int32_t repetitions = 4;
};

// The 17 bytes; of each number only its low 8 bits.
LedBuzzerCommand BuildLedBuzzerCommand(const LedBuzzerSettings& settings);
// "%02X" per byte with one blank between bytes and none at the end: 50 characters.
std::string LedBuzzerCommandText(const LedBuzzerCommand& command);

inline constexpr const char* kLedBuzzerCommandName = "LED_BUZZER_CMD";

// What the panel asks of the window.
class LedPanelView {
public:
    enum class Field { OnDuty, OffDuty, Repetition };
    virtual ~LedPanelView() = default;
    virtual bool ledChecked(int led) const = 0; // 1 to 4
    virtual bool blinking() const = 0;
    virtual bool buzzerChecked() const = 0;
    virtual int toneIndex() const = 0; // -1 when none
    virtual void setToneEnabled(bool enabled) = 0;
    virtual std::string fieldText(Field field) const = 0;
    virtual void setFieldText(Field field, const std::string& text) = 0;
    virtual std::string fieldCaption(Field field) const = 0; // the label before the field
    // The application's error box.
    virtual void showErrorBox(const std::string& text) = 0;
};

class LedBuzzerPanel {
public:
    LedBuzzerPanel(LedPanelView& view, ConsoleView& console, QueueView& queue)
        : m_view(view), m_console(console), m_queue(queue) {}

    void BitBtn_CommonCmdClick(); // "Gen APDU"
    void cbBuzzerClick();
    void EditOnDutyExit() { checkRange(LedPanelView::Field::OnDuty); }
    void EditOffDutyExit() { checkRange(LedPanelView::Field::OffDuty); }
    void EditRepetitionExit() { checkRange(LedPanelView::Field::Repetition); }

private:
    void checkRange(LedPanelView::Field field);

    LedPanelView& m_view;
    ConsoleView& m_console;
    QueueView& m_queue;
};

} // namespace tessary
