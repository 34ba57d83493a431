// SPDX-License-Identifier: BSD-3-Clause
#include "card_detect.h"

namespace tessary {

void CardDetect::CB_CardDetectClick() {
    // Neither the timer nor the connection is touched: a supported selection starts the
    // test, and the next tick after unticking ends it.
    if (m_view.cardDetectTicked()) {
        m_view.setDetectInputEnabled(false);
    } else {
        m_view.setStatus("Select Reader To Start Please.");
        m_view.setDetectInputEnabled(true);
    }
}

void CardDetect::Timer_CardDetectTimer() {
    // Events handled below may let another tick through; attempts never nest.
    if (m_attempting) {
        return;
    }
    m_attempting = true;
    const bool open = m_view.processPendingEvents();
    if (!open) {
        m_view.setCardDetectTimer(false);
    } else if (!m_view.cardDetectTicked()) {
        m_view.setCardDetectTimer(false);
    } else if (m_view.readerIndex() >= 0) {
        // The selector's text edited over its entry names no reader: no attempt until an
        // entry is chosen again.
        m_connection.LinkReader();
    }
    m_attempting = false;
}

} // namespace tessary
