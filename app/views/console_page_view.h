// SPDX-License-Identifier: BSD-3-Clause
// The APDU console's fields as the console's logic sees them.
#pragma once

#include "console_page.h"

namespace Ui {
class TForm1;
}

class ConsolePageView : public tessary::ConsoleView {
public:
    explicit ConsolePageView(Ui::TForm1& ui) : m_ui(ui) {}

    std::string requestText() const override;
    void clearRequest() override;
    void setRequestText(const std::string& text) override;
    void setLengthField(const std::string& text) override;
    std::string lengthField() const override;
    void setCheckLength(const std::string& text) override;
    std::string checkLength() const override;
    void setStatus(const std::string& text) override;
    void appendLogLine(const std::string& line) override;
    void clearLog() override;
    void enableAdd() override;
    void showConversionError(const std::string& text) override;
    int connectModeIndex() const override;

private:
    Ui::TForm1& m_ui;
};
