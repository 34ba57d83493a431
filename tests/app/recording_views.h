// SPDX-License-Identifier: BSD-3-Clause
// Views that record what the program's logic writes into them, for tests without
// widgets.
#pragma once

#include "card_detect.h"
#include "console_page.h"
#include "reader_connection.h"

#include <functional>

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

// The window as the reader connection and the distance test see it.
class RecordingWindow : public ReaderView, public CardDetectView {
public:
    void setStatus(const std::string& text) override { status = text; }
    void showMessage(const std::string& text) override { messages.push_back(text); }
    void appendReader(const std::string& name) override { readers.push_back(name); }
    std::string readerText() const override { return selectorText; }
    int readerIndex() const override { return index; }
    void clearLog() override { log.clear(); }
    void insertLogLineAtTop(const std::string& line) override { log.insert(log.begin(), line); }
    bool cardDetectTicked() const override { return cardDetect; }
    int connectModeIndex() const override { return connectMode; }
    void setReaderDetectTimer(bool running) override { readerTimer = running; }
    void setCardDetectTimer(bool running) override { cardTimer = running; }
    void hideMemoryCardTabs() override { tabsHidden = true; }
    void showPanels() override { ++panelsShown; }
    void setMaxLengthCaption(const std::string& caption) override { maxLength = caption; }
    void setDetectInputEnabled(bool enabled) override { inputEnabled = enabled; }
    bool processPendingEvents() override {
        if (pending) {
            pending();
        }
        return open;
    }

    // Picks the entry as the operator does.
    void pick(int i) {
        index = i;
        selectorText = readers.at(static_cast<std::size_t>(i));
    }

    std::string status, selectorText = "Reader Select", maxLength;
    std::vector<std::string> messages, readers, log{"old line"};
    int index = -1, connectMode = 1, panelsShown = 0;
    bool cardDetect = false, readerTimer = true, cardTimer = false, tabsHidden = false;
    bool inputEnabled = true, open = true;
    std::function<void()> pending; // what the window handles when asked to
};

} // namespace tessary
