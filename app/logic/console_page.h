// SPDX-License-Identifier: BSD-3-Clause
// The console page's handlers over the fields they read and write.
#pragma once

#include "console.h"
#include "reader_connection.h"

#include <optional>
#include <string>

namespace tessary {

class ConsoleView {
public:
    virtual ~ConsoleView() = default;
    // The request as typed, a line break counting as the two characters CR LF.
    virtual std::string requestText() const = 0;
    virtual void clearRequest() = 0;
    virtual void setRequestText(const std::string& text) = 0;
    // The three-position length field: writing keeps what fits, reading gives what shows.
    virtual void setLengthField(const std::string& text) = 0;
    virtual std::string lengthField() const = 0;
    virtual void setCheckLength(const std::string& text) = 0;
    virtual std::string checkLength() const = 0;
    virtual void setStatus(const std::string& text) = 0;
    virtual void appendLogLine(const std::string& line) = 0;
    virtual void clearLog() = 0;
    virtual void enableAdd() = 0;
    // The application's error box for text that is not a number.
    virtual void showConversionError(const std::string& text) = 0;
    virtual int connectModeIndex() const = 0;
};

// The automatic run, as far as a press of "Transmit to card" starts it.
class RunStarter {
public:
    virtual ~RunStarter() = default;
    // Starts a run when one is due instead of a send; true when it did.
    virtual bool startsRun() = 0;
};

class ConsolePage {
public:
    ConsolePage(ConsoleView& view, ReaderConnection& connection)
        : m_view(view), m_connection(connection) {}
    void setRunStarter(RunStarter* starter) { m_runStarter = starter; }

    void CkeckLengthBitBtnClick();
    void SendSmartCardBitBtnClick();
    void ClearSmartCardRequestBitBtnClick();
    void ClearSmartCardResponseBitBtnClick();

    // The send without its conversion box: gives the box's text when a pair did not
    // convert, and leaves showing it to the caller.
    std::optional<std::string> sendRequest();

private:
    ConsoleView& m_view;
    ReaderConnection& m_connection;
    RunStarter* m_runStarter = nullptr;
};

} // namespace tessary
