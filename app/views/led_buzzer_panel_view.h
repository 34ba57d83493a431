// SPDX-License-Identifier: BSD-3-Clause
// The LED and buzzer panel's controls as the generator sees them.
#pragma once

#include "led_buzzer.h"

namespace Ui {
class TForm1;
}

class LedBuzzerPanelView : public tessary::LedPanelView {
public:
    explicit LedBuzzerPanelView(Ui::TForm1& ui) : m_ui(ui) {}

    bool ledChecked(int led) const override;
    bool blinking() const override;
    bool buzzerChecked() const override;
    int toneIndex() const override;
    void setToneEnabled(bool enabled) override;
    std::string fieldText(Field field) const override;
    void setFieldText(Field field, const std::string& text) override;
    std::string fieldCaption(Field field) const override;
    void showErrorBox(const std::string& text) override;

private:
    Ui::TForm1& m_ui;
};
