// SPDX-License-Identifier: BSD-3-Clause
#include "led_buzzer_panel_view.h"

#include "dialogs.h"
#include "ui_Main_mem_pcsc.h"

namespace {

QLineEdit* fieldOf(Ui::TForm1& ui, tessary::LedPanelView::Field field) {
    using Field = tessary::LedPanelView::Field;
    return field == Field::OnDuty    ? ui.EditOnDuty
           : field == Field::OffDuty ? ui.EditOffDuty
                                     : ui.EditRepetition;
}

} // namespace

bool LedBuzzerPanelView::ledChecked(int led) const {
    const QCheckBox* const boxes[] = {m_ui.cbLed1, m_ui.cbLed2, m_ui.cbLed3, m_ui.cbLed4};
    return led >= 1 && led <= 4 && boxes[led - 1]->isChecked();
}

bool LedBuzzerPanelView::blinking() const {
    return m_ui.RG_LedMode->itemIndex() == 1; // "LED Blinking"
}

bool LedBuzzerPanelView::buzzerChecked() const {
    return m_ui.cbBuzzer->isChecked();
}

int LedBuzzerPanelView::toneIndex() const {
    return m_ui.ComboBoxTone->currentIndex();
}

void LedBuzzerPanelView::setToneEnabled(bool enabled) {
    m_ui.ComboBoxTone->setEnabled(enabled);
}

std::string LedBuzzerPanelView::fieldText(Field field) const {
    return fieldOf(m_ui, field)->text().toStdString();
}

void LedBuzzerPanelView::setFieldText(Field field, const std::string& text) {
    fieldOf(m_ui, field)->setText(QString::fromStdString(text));
}

std::string LedBuzzerPanelView::fieldCaption(Field field) const {
    const QLabel* label = field == Field::OnDuty    ? m_ui.LabelDutyCycyleOn
                          : field == Field::OffDuty ? m_ui.LabelDutyCycleOFF
                                                    : m_ui.LabelRepetition;
    return label->text().toStdString();
}

void LedBuzzerPanelView::showErrorBox(const std::string& text) {
    tessary::showErrorBox(QString::fromStdString(text));
}
