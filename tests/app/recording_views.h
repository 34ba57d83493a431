// Views that record what the program's logic writes into them, for tests without
// widgets.
#pragma once

#include "console_page.h"
#include "reader_connection.h"

#include <string>
#include <vector>

namespace tessary {

class RecordingConsole : public ConsoleView {
public:
    std::string requestText() const override { return request; }
    void clearRequest() override { request.clear(); }
    void setRequestText(const std::string& text) override { request = text; }
    // Three positions filled from the right, as the length field holds them.
    void setLengthField(const std::string& text) override {
        std::string digits;
        for (char c : text.substr(0, 3)) {
            if (c >= '0' && c <= '9') {
                digits += c;
            }
        }
        length = std::string(3 - digits.size(), ' ') + digits;
    }
    std::string lengthField() const override { return length; }
    void setCheckLength(const std::string& text) override { check = text; }
    std::string checkLength() const override { return check; }
    void setStatus(const std::string& text) override { status = text; }
    void appendLogLine(const std::string& line) override { log.push_back(line); }
    void clearLog() override { log.clear(); }
    void enableAdd() override { addEnabled = true; }
    void showConversionError(const std::string& text) override { errors.push_back(text); }
    int connectModeIndex() const override { return connectMode; }

    std::string request, length = "   ", check, status;
    std::vector<std::string> log, errors;
    bool addEnabled = false;
    int connectMode = 1;
};

class NullReaderView : public ReaderView {
public:
    void setStatus(const std::string&) override {}
    void showMessage(const std::string&) override {}
    void appendReader(const std::string&) override {}
    std::string readerText() const override { return {}; }
    int readerIndex() const override { return -1; }
    void clearLog() override {}
    void insertLogLineAtTop(const std::string&) override {}
    bool cardDetectTicked() const override { return false; }
    int connectModeIndex() const override { return 1; }
    void setReaderDetectTimer(bool) override {}
    void setCardDetectTimer(bool) override {}
    void hideMemoryCardTabs() override {}
    void showPanels() override {}
    void setMaxLengthCaption(const std::string&) override {}
};

} // namespace tessary
