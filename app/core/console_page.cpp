#include "console_page.h"

#include <charconv>

namespace tessary {
namespace {

constexpr const char* kNoData = "No Data Inputed.";

// The integer a field shows; blanks around it do not count. Nothing when it shows none.
std::optional<int> integerOf(const std::string& text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string::npos) {
        return std::nullopt;
    }
    const auto last = text.find_last_not_of(' ');
    int value = 0;
    auto [end, ec] = std::from_chars(text.data() + first, text.data() + last + 1, value);
    if (ec != std::errc{} || end != text.data() + last + 1) {
        return std::nullopt;
    }
    return value;
}

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
    CkeckLengthBitBtnClick();
    const std::string request = m_view.requestText();
    if (request.empty()) {
        m_view.setStatus(kNoData);
        return;
    }
    const int count = RequestByteCount(request);
    // A count of more than three digits cannot show in the length field, so it fails here.
    if (integerOf(m_view.lengthField()) != count) {
        m_view.setStatus("Check Length Failed. Data Length Not Equal Send Length.");
        m_view.setCheckLength(std::to_string(count));
        return;
    }
    const ParsedRequest parsed = ParseRequestBytes(request, count);
    if (parsed.badPair) {
        m_view.showConversionError("'" + *parsed.badPair + "' is not a valid integer value");
        return;
    }
    const Exchange exchange =
        TransmitWithLog(m_connection.card(), m_connection.activeProtocol(),
                        GetShareMode(m_view.connectModeIndex()), parsed.bytes);
    m_view.appendLogLine(exchange.sendLine);
    m_view.appendLogLine(exchange.receiveLine);
    m_view.setStatus(ExchangeOutcome(exchange.status));
    m_view.enableAdd();
    m_view.setCheckLength(std::to_string(count));
}

void ConsolePage::ClearSmartCardRequestBitBtnClick() {
    m_view.clearRequest();
    CkeckLengthBitBtnClick();
}

void ConsolePage::ClearSmartCardResponseBitBtnClick() {
    m_view.clearLog();
}

} // namespace tessary
