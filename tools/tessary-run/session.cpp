#include "session.h"

#include "prolvak.h"
#include "reader_features.h"
#include "status_code_name.h"

#include <PCSC/pcsclite.h>

#include <algorithm>
#include <array>
#include <chrono>

namespace tessary::run {
namespace {

static_assert(kMaxApduLength == MAX_BUFFER_SIZE_EXTENDED);

std::string statusName(int32_t status) {
    char name[35];
    return StatusCodeName(status, name);
}

const char* shareModeName(uint32_t shareMode) {
    switch (shareMode) {
    case SCARD_SHARE_EXCLUSIVE:
        return "exclusive";
    case SCARD_SHARE_DIRECT:
        return "direct";
    default:
        return "shared";
    }
}

constexpr const char* kNoService = "cannot reach the PC/SC service (is pcscd running?)";

} // namespace

std::string CardStateText(DWORD state) {
    if (state & SCARD_STATE_MUTE) {
        return "mute card";
    }
    if (state & SCARD_STATE_PRESENT) {
        return (state & SCARD_STATE_INUSE) ? "card present, in use" : "card present";
    }
    return "no card";
}

Session::Session() : m_answer(kMaxApduLength) {}

Session::~Session() {
    if (m_card != 0) {
        CloseReader_WIN(m_card);
    }
    if (m_open) {
        CloseLibrary_WIN(m_context);
    }
}

bool Session::open(std::string& error) {
    const int32_t status = InitLibrary_WIN(&m_context);
    if (status == KTX_PCSC_GET_WINSCARD_DLL_ERR) {
        error = "cannot load the PC/SC library libpcsclite.so.1 (apt install libpcsclite1)";
        return false;
    }
    if (status != KTX_SUCCESS) {
        error = pcscfeatures::refusedByAccessPolicy() ? pcscfeatures::accessPolicyText()
                                                      : std::string(kNoService);
        return false;
    }
    m_open = true;
    return true;
}

std::optional<std::vector<ReaderEntry>> Session::readers(std::string& error) {
    std::array<SlotInfo, PROLVAK_MAX_READERS> slots{};
    std::array<SCARD_READERSTATE, PROLVAK_MAX_READERS> states{};
    uint32_t count = 0;
    const int32_t status = ListReader_WIN(m_context, slots.data(), states.data(), &count);
    std::vector<ReaderEntry> readers;
    if (status == KTX_PCSC_NO_READER_FOUND_ERR) {
        return readers;
    }
    if (status == KTX_PCSC_SCARDLISTREADERS_ERR) {
        error = kNoService;
        return std::nullopt;
    }
    if (status != KTX_SUCCESS) {
        error = "cannot list the readers (" + statusName(status) + ")";
        return std::nullopt;
    }
    for (uint32_t i = 0; i < std::min<uint32_t>(count, PROLVAK_MAX_READERS); ++i) {
        const SCARD_READERSTATE& state = states[i];
        const std::size_t atrLength = std::min<std::size_t>(state.cbAtr, sizeof state.rgbAtr);
        readers.push_back({slots[i].szReader, slots[i].flag == 1, state.dwEventState,
                           Bytes(state.rgbAtr, state.rgbAtr + atrLength)});
    }
    return readers;
}

bool Session::connect(const std::string& reader, uint32_t shareMode, std::string& error) {
    std::array<uint8_t, 33> atr{};
    uint32_t atrLength = atr.size();
    uint32_t state = 0;
    const int32_t status = InitReader_WIN(m_context, reader.c_str(), shareMode, &m_card,
                                          &m_protocol, &state, atr.data(), &atrLength);
    if (status != KTX_SUCCESS) {
        error = "cannot connect to " + reader + " in " + shareModeName(shareMode) + " mode (" +
                statusName(status) + ")";
        if (status == KTX_PCSC_SCARDCONNECT_ERR && pcscfeatures::refusedByAccessPolicy(reader)) {
            error += ": " + pcscfeatures::accessPolicyText();
        }
        return false;
    }
    m_reader = reader;
    m_shareMode = shareMode;
    return true;
}

RawExchange Session::transmit(const Bytes& request) {
    RawExchange exchange;
    exchange.request = request;
    const auto length = static_cast<uint32_t>(request.size());
    uint32_t received = static_cast<uint32_t>(m_answer.size());
    const auto start = std::chrono::steady_clock::now();
    if (m_shareMode == SCARD_SHARE_DIRECT) {
        const auto control = [this](DWORD code, const uint8_t* input, DWORD inputLength,
                                    uint8_t* output, DWORD room, DWORD* got) {
            return SCardControl_WIN(m_card, code, input, inputLength, output, room, got);
        };
        DWORD returned = 0;
        const auto outcome = pcscfeatures::controlWithEscapeFallback(
            control, pcscfeatures::kReaderControlCode, request, m_answer, returned);
        exchange.status = static_cast<int32_t>(outcome.result);
        m_noEscape = outcome.noEscape;
        received = static_cast<uint32_t>(std::min<DWORD>(returned, m_answer.size()));
    } else {
        exchange.status =
            PcSc_SR_WIN(m_card, m_protocol, length, request.data(),
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
    const auto reader = std::ranges::find(*listed, m_reader, &ReaderEntry::name);
    if (reader == listed->end()) {
        return Loss::ReaderGone;
    }
    if (m_shareMode != SCARD_SHARE_DIRECT && !reader->card) {
        return Loss::CardTakenOut;
    }
    return Loss::None;
}

} // namespace tessary::run
