// SPDX-License-Identifier: BSD-3-Clause
#include "session.h"

#include "prolvak.h"
#include "reader_features.h"

#include <PCSC/pcsclite.h>

#include <algorithm>
#include <chrono>

namespace tessary::run {
namespace {

static_assert(kMaxApduLength == MAX_BUFFER_SIZE_EXTENDED);

} // namespace

std::string cardStateText(uint32_t state) {
    if (state & SCARD_STATE_MUTE) {
        return "mute card";
    }
    if (state & SCARD_STATE_PRESENT) {
        return (state & SCARD_STATE_INUSE) ? "card present, in use" : "card present";
    }
    return "no card";
}

Session::Session() : m_answer(kMaxApduLength) {}

bool Session::open(std::string& error) {
    return m_link.open(error);
}

std::optional<std::vector<ListedReader>> Session::readers(std::string& error) {
    return tessary::tools::listReaders(error);
}

bool Session::openBeside(std::string& error) {
    return m_link.openBeside(error);
}

bool Session::connect(const std::optional<std::string>& wanted, uint32_t shareMode,
                      std::string& error) {
    if (!m_link.connect(wanted, shareMode, error)) {
        return false;
    }
    takeAtr();
    return true;
}

bool Session::connectTo(const std::string& reader, uint32_t shareMode, std::string& error) {
    if (!m_link.connectTo(reader, shareMode, error)) {
        return false;
    }
    takeAtr();
    return true;
}

void Session::takeAtr() {
    // The ATR as the service lists it, as --list shows it: the access library gives a
    // memory card's four bytes without the header around them.
    m_atr.assign(m_link.atr().begin(), m_link.atr().end());
    std::string ignored;
    if (const auto listed = readers(ignored)) {
        const auto reader = std::ranges::find(*listed, m_link.reader(), &ListedReader::name);
        if (reader != listed->end()) {
            m_atr = reader->card ? reader->atr : Bytes{};
        }
    }
}

RawExchange Session::transmit(const Bytes& request) {
    RawExchange exchange;
    exchange.request = request;
    const auto length = static_cast<uint32_t>(request.size());
    uint32_t received = static_cast<uint32_t>(m_answer.size());
    const auto start = std::chrono::steady_clock::now();
    if (m_link.shareMode() == SCARD_SHARE_DIRECT) {
        const auto control = [this](DWORD code, const uint8_t* input, DWORD inputLength,
                                    uint8_t* output, DWORD room, DWORD* got) {
            return SCardControl_WIN(m_link.card(), code, input, inputLength, output, room, got);
        };
        DWORD returned = 0;
        const auto outcome = pcscfeatures::controlWithEscapeFallback(
            control, pcscfeatures::kReaderControlCode, request, m_answer, returned);
        exchange.status = static_cast<int32_t>(outcome.result);
        m_noEscape = outcome.noEscape;
        received = static_cast<uint32_t>(std::min<DWORD>(returned, m_answer.size()));
    } else {
        exchange.status =
            PcSc_SR_WIN(m_link.card(), m_link.protocol(), length, request.data(),
                        static_cast<uint32_t>(m_answer.size()), &received, m_answer.data());
    }
    const auto took = std::chrono::steady_clock::now() - start;
    exchange.micros = std::chrono::duration_cast<std::chrono::microseconds>(took).count();
    if (exchange.status == 0) {
        const std::size_t shown = std::min<std::size_t>(received, m_answer.size());
        exchange.response.assign(m_answer.begin(), m_answer.begin() + static_cast<long>(shown));
    }
    return exchange;
}

Loss Session::lossAfterFailure() {
    if (m_noEscape) {
        return Loss::NoReaderCommands;
    }
    std::string error;
    const auto listed = readers(error);
    if (!listed) {
        return Loss::ServiceGone;
    }
    const auto reader = std::ranges::find(*listed, m_link.reader(), &ListedReader::name);
    if (reader == listed->end()) {
        return Loss::ReaderGone;
    }
    if (m_link.shareMode() != SCARD_SHARE_DIRECT && !reader->card) {
        return Loss::CardTakenOut;
    }
    return Loss::None;
}

} // namespace tessary::run
