// SPDX-License-Identifier: BSD-3-Clause
#include "console_page.h"

#include "integer_text.h"

namespace tessary {
namespace {

// "Inputed", as the program has always said it: keep the spelling.
constexpr const char* kNoData = "No Data Inputed.";

} // namespace

void ConsolePage::CkeckLengthBitBtnClick() {
    m_view.setLengthField("");
    const std::string request = m_view.requestText();
    if (request.empty()) {
        m_view.setStatus(kNoData);
        return;
    }
    m_view.setCheckLength(std::to_string(RequestByteCount(request)));
    m_view.setLengthField(m_view.checkLength());
}

void ConsolePage::SendSmartCardBitBtnClick() {
    if (const auto failure = sendRequest()) {
        m_view.showConversionError(*failure);
    }
}

std::optional<std::string> ConsolePage::sendRequest() {
    CkeckLengthBitBtnClick();
    if (m_runStarter != nullptr && m_runStarter->startsRun()) {
        return std::nullopt; // the run's timer sends
    }
    const std::string request = m_view.requestText();
    if (request.empty()) {
        m_view.setStatus(kNoData);
        return std::nullopt;
    }
    const int count = RequestByteCount(request);
    // A count of more than three digits cannot show in the length field, so it fails here.
    if (FieldInteger(m_view.lengthField()) != count) {
        m_view.setStatus("Check Length Failed. Data Length Not Equal Send Length.");
        m_view.setCheckLength(std::to_string(count));
        return std::nullopt;
    }
    const ParsedRequest parsed = ParseRequestBytes(request, count);
    if (parsed.badPair) {
        return NotAnIntegerText(*parsed.badPair);
    }
    const Exchange exchange =
        TransmitWithLog(m_connection.card(), m_connection.activeProtocol(),
                        GetShareMode(m_view.connectModeIndex()), parsed.bytes);
    m_connection.noteCallResult(exchange.status);
    m_view.appendLogLine(exchange.sendLine);
    m_view.appendLogLine(exchange.receiveLine);
    if (exchange.hint) {
        m_view.appendLogLine(*exchange.hint);
    }
    m_view.setStatus(ExchangeOutcome(exchange.status));
    m_view.enableAdd();
    m_view.setCheckLength(std::to_string(count));
    return std::nullopt;
}

void ConsolePage::ClearSmartCardRequestBitBtnClick() {
    m_view.clearRequest();
    CkeckLengthBitBtnClick();
}

void ConsolePage::ClearSmartCardResponseBitBtnClick() {
    m_view.clearLog();
}

} // namespace tessary
