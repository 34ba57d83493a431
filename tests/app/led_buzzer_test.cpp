// SPDX-License-Identifier: BSD-3-Clause
// The LED and buzzer command's bytes, and the panel's "Gen APDU" and range checks.
#include "led_buzzer.h"
#include "recording_views.h"

#include <gtest/gtest.h>

#include <map>

using namespace tessary;

namespace {

using Field = LedPanelView::Field;

TEST(LedBuzzerCommand, TheTwoExamplesOfThePanel) {
    EXPECT_EQ(LedBuzzerCommandText(BuildLedBuzzerCommand({})),
              "FF E1 02 01 0C A0 FC 00 A0 FD 04 A0 FE 04 A0 FF 04");
    LedBuzzerSettings settings;
    settings.leds = {true, false, false, true};
    settings.blinking = true;
    settings.buzzer = true;
    settings.tone = 2;
    settings.onTime = 10;
    settings.offTime = 5;
    settings.repetitions = 3;
    const std::string text = LedBuzzerCommandText(BuildLedBuzzerCommand(settings));
    EXPECT_EQ(text, "FF E1 02 01 0C A0 FC 9E A0 FD 0A A0 FE 05 A0 FF 03");
    EXPECT_EQ(text.size(), 50u);
}

TEST(LedBuzzerCommand, EachChoiceSetsItsOwnBitOfTheControlByte) {
    const auto control = [](auto change) {
        LedBuzzerSettings settings;
        change(settings);
        return BuildLedBuzzerCommand(settings)[7];
    };
    EXPECT_EQ(control([](auto& s) { s.leds[0] = true; }), 0x10); // blue
    EXPECT_EQ(control([](auto& s) { s.leds[1] = true; }), 0x20); // yellow
    EXPECT_EQ(control([](auto& s) { s.leds[2] = true; }), 0x40); // green
    EXPECT_EQ(control([](auto& s) { s.leds[3] = true; }), 0x80); // red
    EXPECT_EQ(control([](auto& s) { s.blinking = true; }), 0x08);
    EXPECT_EQ(control([](auto& s) { s.buzzer = true; }), 0x04);
    EXPECT_EQ(control([](auto& s) { s.tone = 1; }), 0x01); // buzzer off, "Tone 2" kept
    EXPECT_EQ(control([](auto& s) { s.tone = 3; }), 0x03);
    EXPECT_EQ(control([](auto& s) { s.tone = -1; }), 0x00); // no tone selected
    EXPECT_EQ(control([](auto& s) {
                  s.leds = {true, true, true, true};
                  s.blinking = s.buzzer = true;
                  s.tone = 3;
              }),
              0xFF);
    LedBuzzerSettings wide;
    wide.onTime = 255;
    wide.offTime = 256; // low 8 bits only
    wide.repetitions = 0x1234;
    const LedBuzzerCommand command = BuildLedBuzzerCommand(wide);
    EXPECT_EQ(command[10], 0xFF);
    EXPECT_EQ(command[13], 0x00);
    EXPECT_EQ(command[16], 0x34);
}

class RecordingPanel : public LedPanelView {
public:
    bool ledChecked(int led) const override { return leds.at(static_cast<std::size_t>(led - 1)); }
    bool blinking() const override { return blink; }
    bool buzzerChecked() const override { return buzzer; }
    int toneIndex() const override { return tone; }
    void setToneEnabled(bool enabled) override { toneEnabled = enabled; }
    std::string fieldText(Field field) const override { return fields.at(field); }
    void setFieldText(Field field, const std::string& text) override { fields[field] = text; }
    std::string fieldCaption(Field field) const override {
        return field == Field::OnDuty    ? "Duty Cycle ON-Time="
               : field == Field::OffDuty ? "Duty Cycle OFF-Time="
                                         : "Repetition";
    }
    void showErrorBox(const std::string& text) override { boxes.push_back(text); }

    std::array<bool, 4> leds{};
    bool blink = false, buzzer = false, toneEnabled = false;
    int tone = 0;
    std::map<Field, std::string> fields{
        {Field::OnDuty, "4"}, {Field::OffDuty, "4"}, {Field::Repetition, "4"}};
    std::vector<std::string> boxes;
};

class NameOnlyQueue : public QueueView {
public:
    std::string commandName() const override { return name; }
    void setCommandName(const std::string& text) override { name = text; }
    void appendItem(const std::string&) override {}
    void clearItems() override {}
    int selectedIndex() const override { return -1; }
    void selectItem(int) override {}
    void disableAdd() override {}
    void setSaveImage(const std::vector<std::string>&) override {}
    void showMessage(const std::string&) override {}
    void showErrorBox(const std::string&) override {}
    std::string name;
};

class Panel : public ::testing::Test {
protected:
    RecordingPanel view;
    RecordingConsole console;
    NameOnlyQueue queue;
    LedBuzzerPanel panel{view, console, queue};
};

TEST_F(Panel, GenApduPutsTheCommandIntoTheConsole) {
    view.leds = {false, false, false, true};
    view.fields[Field::Repetition] = "2";
    panel.BitBtn_CommonCmdClick();
    EXPECT_EQ(queue.name, "LED_BUZZER_CMD");
    EXPECT_EQ(console.length, " 17");
    EXPECT_EQ(console.request, "FF E1 02 01 0C A0 FC 80 A0 FD 04 A0 FE 04 A0 FF 02");
    EXPECT_TRUE(console.addEnabled);

    // A field that is no number leaves the console as it was.
    console = RecordingConsole();
    queue.name = "kept";
    view.fields[Field::OffDuty] = "x";
    view.fields[Field::Repetition] = "y";
    panel.BitBtn_CommonCmdClick();
    EXPECT_EQ(view.boxes, std::vector<std::string>{"'x' is not a valid integer value"});
    EXPECT_EQ(queue.name, "kept");
    EXPECT_EQ(console.request, "");
    EXPECT_FALSE(console.addEnabled);
}

TEST_F(Panel, NumberFieldsAreCheckedOnLeaving) {
    struct Case {
        Field field;
        std::string text, after, box;
    };
    const Case cases[] = {
        {Field::OnDuty, "255", "255", ""},
        {Field::OnDuty, "0", "4", "Duty Cycle ON-Time= Range (1-255)"},
        {Field::OffDuty, "256", "4", "Duty Cycle OFF-Time= Range (1-255)"},
        {Field::Repetition, "-1", "4", "Repetition Range (1-255)"},
        {Field::Repetition, "", "", "'' is not a valid integer value"},
        {Field::OffDuty, "1 ", "1 ", "'1 ' is not a valid integer value"},
        {Field::Repetition, "1", "1", ""},
    };
    for (const auto& c : cases) {
        view.boxes.clear();
        view.fields[c.field] = c.text;
        c.field == Field::OnDuty    ? panel.EditOnDutyExit()
        : c.field == Field::OffDuty ? panel.EditOffDutyExit()
                                    : panel.EditRepetitionExit();
        EXPECT_EQ(view.fields[c.field], c.after) << c.text;
        EXPECT_EQ(view.boxes,
                  c.box.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.box})
            << c.text;
    }
}

} // namespace
