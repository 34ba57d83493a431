// SPDX-License-Identifier: BSD-3-Clause
// The distance test: while "Distance Test" is ticked and a supported reader has been
// chosen, the connection is closed and opened again on every tick of a 100 ms timer, so
// that the operator sees, by the ATR lines stacking up or the emptied log, whether the
// card is still in range.
#pragma once

#include "reader_connection.h"

#include <string>

namespace tessary {

// What the test asks of the window.
class CardDetectView {
public:
    virtual ~CardDetectView() = default;
    virtual bool cardDetectTicked() const = 0;
    virtual int readerIndex() const = 0; // -1 when none
    virtual void setStatus(const std::string& text) = 0;
    // The LED and buzzer controls, then the tab pages, take input or do not.
    virtual void setDetectInputEnabled(bool enabled) = 0;
    // Lets the window handle every pending event; false when the window has closed
    // meanwhile.
    virtual bool processPendingEvents() = 0;
    virtual void setCardDetectTimer(bool running) = 0;
};

class CardDetect {
public:
    CardDetect(CardDetectView& view, ReaderConnection& connection)
        : m_view(view), m_connection(connection) {}

    void CB_CardDetectClick();
    void Timer_CardDetectTimer(); // one attempt

    bool attempting() const { return m_attempting; }

private:
    CardDetectView& m_view;
    ReaderConnection& m_connection;
    bool m_attempting = false;
};

} // namespace tessary
