// SPDX-License-Identifier: BSD-3-Clause
#include "led_buzzer.h"

#include "hex_text.h"

#include "integer_text.h"

namespace tessary {
namespace {

// Byte offsets of the command.
constexpr std::size_t kControl = 7;
constexpr std::size_t kOnTime = 10;
constexpr std::size_t kOffTime = 13;
constexpr std::size_t kRepetitions = 16;

// Bits of the control byte.
constexpr uint8_t kLedBits[4] = {0x10, 0x20, 0x40, 0x80}; // blue, yellow, green, red
constexpr uint8_t kBlinking = 0x08;
constexpr uint8_t kBuzzer = 0x04;
constexpr uint8_t kToneBits = 0x03;

constexpr const char* kDefaultDuty = "4";

} // namespace

LedBuzzerCommand BuildLedBuzzerCommand(const LedBuzzerSettings& settings) {
    LedBuzzerCommand command{
        0xFF, 0xE1, 0x02, 0x01, // class, instruction, parameters
        0x0C,                   // 12 bytes follow
        0xA0, 0xFC, 0x00,       // LED and buzzer control
        0xA0, 0xFD, 0x00,       // on-time
        0xA0, 0xFE, 0x00,       // off-time
        0xA0, 0xFF, 0x00,       // repetitions
    };
    unsigned control = 0;
    for (std::size_t led = 0; led < settings.leds.size(); ++led) {
        control |= settings.leds[led] ? kLedBits[led] : 0u;
    }
    control |= settings.blinking ? kBlinking : 0u;
    control |= settings.buzzer ? kBuzzer : 0u;
    // The tone counts even while the buzzer is off.
    control |= settings.tone > 0 ? static_cast<unsigned>(settings.tone) & kToneBits : 0u;
    command[kControl] = static_cast<uint8_t>(control);
    command[kOnTime] = static_cast<uint8_t>(settings.onTime & 0xFF);
    command[kOffTime] = static_cast<uint8_t>(settings.offTime & 0xFF);
    command[kRepetitions] = static_cast<uint8_t>(settings.repetitions & 0xFF);
    return command;
}

std::string LedBuzzerCommandText(const LedBuzzerCommand& command) {
    return formatHex(command);
}

void LedBuzzerPanel::BitBtn_CommonCmdClick() {
    LedBuzzerSettings settings;
    for (int led = 1; led <= 4; ++led) {
        settings.leds[static_cast<std::size_t>(led - 1)] = m_view.ledChecked(led);
    }
    settings.blinking = m_view.blinking();
    settings.buzzer = m_view.buzzerChecked();
    settings.tone = m_view.toneIndex();
    using Field = LedPanelView::Field;
    int32_t* const numbers[] = {&settings.onTime, &settings.offTime, &settings.repetitions};
    const Field fields[] = {Field::OnDuty, Field::OffDuty, Field::Repetition};
    for (std::size_t i = 0; i < 3; ++i) {
        const std::string text = m_view.fieldText(fields[i]);
        const auto value = IntegerOfText(text);
        if (!value) {
            m_view.showErrorBox(NotAnIntegerText(text)); // the console stays as it was
            return;
        }
        *numbers[i] = *value;
    }
    m_queue.setCommandName(kLedBuzzerCommandName);
    m_console.setLengthField(std::to_string(std::tuple_size_v<LedBuzzerCommand>));
    m_console.setRequestText(LedBuzzerCommandText(BuildLedBuzzerCommand(settings)));
    m_console.enableAdd();
}

void LedBuzzerPanel::cbBuzzerClick() {
    m_view.setToneEnabled(m_view.buzzerChecked());
}

void LedBuzzerPanel::checkRange(LedPanelView::Field field) {
    const std::string text = m_view.fieldText(field);
    const auto value = IntegerOfText(text);
    if (!value) {
        m_view.showErrorBox(NotAnIntegerText(text)); // the field keeps its text
        return;
    }
    if (*value < 1 || *value > 255) {
        m_view.setFieldText(field, kDefaultDuty);
        m_view.showErrorBox(m_view.fieldCaption(field) + " Range (1-255)");
    }
}

} // namespace tessary
