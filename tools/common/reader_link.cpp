// SPDX-License-Identifier: BSD-3-Clause
#include "reader_link.h"

#include "prolvak.h"
#include "reader_features.h"
#include "status_names.h"

#include <PCSC/pcsclite.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>

namespace tessary::tools {
namespace {

constexpr const char* kNoService = "cannot reach the PC/SC service (is pcscd running?)";
// pcsc-lite's sixteen readers of 128 characters fill 2 KiB; a service that reports a list
// longer than this is not believed.
constexpr DWORD kMaxListLength = 64 * 1024;
// A reader plugged in or out between two calls changes the list: it is read again.
constexpr int kListAttempts = 3;
// The most reader states one status call takes (pcsc-lite refuses more).
constexpr std::size_t kStatesPerCall = PCSCLITE_MAX_READERS_CONTEXTS;

// pcsc-lite's client keeps the readers' states in one table for the whole process and
// refreshes it from the service in the calls that list, connect or ask for a status,
// guarded by the calling context's own lock only: readers served from several threads
// would write it at the same time. Those calls take turns here; exchanges never wait.
std::mutex g_readerStatesLock;

std::string resultText(LONG rv) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08X", static_cast<uint32_t>(rv));
    return std::string(pcsc_stringify_error(rv)) + " (" + code + ")";
}

std::string serviceFailure(LONG rv) {
    if (rv == SCARD_W_SECURITY_VIOLATION) {
        return pcscfeatures::accessPolicyText();
    }
    if (rv == SCARD_E_NO_SERVICE || rv == SCARD_E_SERVICE_STOPPED || rv == SCARD_F_COMM_ERROR) {
        return kNoService;
    }
    return "cannot list the readers: " + resultText(rv);
}

// A context of the listing's own, released at the end of the scope.
class Context {
public:
    Context() {
        m_result = SCardEstablishContext(SCARD_SCOPE_SYSTEM, nullptr, nullptr, &m_context);
    }
    ~Context() {
        if (m_result == SCARD_S_SUCCESS) {
            SCardReleaseContext(m_context);
        }
    }
    Context(const Context&) = delete;
    Context& operator=(const Context&) = delete;
    LONG result() const { return m_result; }
    SCARDCONTEXT get() const { return m_context; }

private:
    SCARDCONTEXT m_context = 0;
    LONG m_result = SCARD_E_NO_SERVICE;
};

// The names of the service's list, read no further than `length`; a name that does not
// end within it is the end of the list.
std::vector<std::string> namesIn(const std::vector<char>& list, std::size_t length) {
    std::vector<std::string> names;
    std::size_t at = 0;
    while (at < length && list[at] != '\0') {
        const std::size_t size = strnlen(list.data() + at, length - at);
        if (at + size == length) {
            break;
        }
        names.emplace_back(list.data() + at, size);
        at += size + 1;
    }
    return names;
}

struct Listing {
    LONG result = SCARD_S_SUCCESS;
    std::vector<ListedReader> readers;
};

Listing listOnce(const Context& context) {
    Listing listing;
    DWORD length = 0;
    listing.result = SCardListReaders(context.get(), nullptr, nullptr, &length);
    if (listing.result == SCARD_S_SUCCESS && length > kMaxListLength) {
        listing.result = SCARD_E_INSUFFICIENT_BUFFER;
    }
    if (listing.result != SCARD_S_SUCCESS) {
        return listing;
    }
    std::vector<char> list(length);
    DWORD got = length;
    listing.result = SCardListReaders(context.get(), nullptr, list.data(), &got);
    if (listing.result != SCARD_S_SUCCESS) {
        return listing;
    }
    const std::vector<std::string> names = namesIn(list, std::min<DWORD>(got, length));
    std::vector<SCARD_READERSTATE> states(names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
        states[i].szReader = names[i].c_str();
        states[i].dwCurrentState = SCARD_STATE_UNAWARE;
    }
    for (std::size_t from = 0; from < states.size(); from += kStatesPerCall) {
        const std::size_t count = std::min(kStatesPerCall, states.size() - from);
        listing.result =
            SCardGetStatusChange(context.get(), 0, states.data() + from, static_cast<DWORD>(count));
        if (listing.result != SCARD_S_SUCCESS) {
            return listing;
        }
    }
    for (std::size_t i = 0; i < names.size(); ++i) {
        const SCARD_READERSTATE& state = states[i];
        if (state.dwEventState & (SCARD_STATE_UNKNOWN | SCARD_STATE_IGNORE)) {
            continue; // gone since the list was made
        }
        const std::size_t atrLength = std::min<std::size_t>(state.cbAtr, sizeof state.rgbAtr);
        listing.readers.push_back({names[i], (state.dwEventState & SCARD_STATE_PRESENT) != 0,
                                   static_cast<uint32_t>(state.dwEventState),
                                   std::vector<uint8_t>(state.rgbAtr, state.rgbAtr + atrLength)});
    }
    return listing;
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

} // namespace

std::optional<std::vector<ListedReader>> listReaders(std::string& error) {
    const std::lock_guard lock(g_readerStatesLock);
    const Context context;
    if (context.result() != SCARD_S_SUCCESS) {
        error = serviceFailure(context.result());
        return std::nullopt;
    }
    Listing listing;
    for (int attempt = 0; attempt < kListAttempts; ++attempt) {
        listing = listOnce(context);
        if (listing.result != SCARD_E_INSUFFICIENT_BUFFER &&
            listing.result != SCARD_E_UNKNOWN_READER) {
            break;
        }
    }
    if (listing.result == SCARD_E_NO_READERS_AVAILABLE) {
        return std::vector<ListedReader>{};
    }
    if (listing.result != SCARD_S_SUCCESS) {
        error = serviceFailure(listing.result);
        return std::nullopt;
    }
    return std::move(listing.readers);
}

ReaderLink::~ReaderLink() {
    if (m_card != 0) {
        CloseReader_WIN(m_card);
    }
    if (m_ownContext) {
        SCardReleaseContext(m_context);
    } else if (m_open) {
        CloseLibrary_WIN(m_context);
    }
}

bool ReaderLink::open(std::string& error) {
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

bool ReaderLink::openBeside(std::string& error) {
    const LONG rv = SCardEstablishContext(SCARD_SCOPE_SYSTEM, nullptr, nullptr, &m_context);
    if (rv != SCARD_S_SUCCESS) {
        error = serviceFailure(rv);
        return false;
    }
    m_open = true;
    m_ownContext = true;
    return true;
}

bool ReaderLink::connect(const std::optional<std::string>& wanted, uint32_t shareMode,
                         std::string& error) {
    if (!m_open) {
        error = kNoService;
        return false;
    }
    const auto readers = listReaders(error);
    if (!readers) {
        return false;
    }
    const ReaderChoice choice = chooseReader(*readers, wanted, shareMode != SCARD_SHARE_DIRECT);
    if (!choice.error.empty()) {
        error = choice.error;
        return false;
    }
    return connectTo(choice.name, shareMode, error);
}

bool ReaderLink::connectTo(const std::string& reader, uint32_t shareMode, std::string& error) {
    if (!m_open) {
        error = kNoService;
        return false;
    }
    // The access-policy probe after a refusal connects as well.
    const std::lock_guard lock(g_readerStatesLock);
    if (m_card != 0) {
        CloseReader_WIN(m_card);
        m_card = 0;
    }
    SCARDHANDLE card = 0;
    uint32_t protocol = 0;
    uint32_t state = 0;
    uint32_t atrLength = static_cast<uint32_t>(m_atr.size());
    const int32_t status = InitReader_WIN(m_context, reader.c_str(), shareMode, &card, &protocol,
                                          &state, m_atr.data(), &atrLength);
    if (status == KTX_SUCCESS || status == KTX_PCSC_SCARDSTATUS_ERR) {
        m_card = card; // after a status failure the connection stays open: closed with the link
    }
    if (status != KTX_SUCCESS) {
        m_atrLength = 0;
        const std::string what =
            "cannot connect to '" + reader + "' in " + shareModeName(shareMode) + " mode";
        if (status == KTX_PCSC_SCARDCONNECT_ERR && pcscfeatures::refusedByAccessPolicy(reader)) {
            error = what + ": " + pcscfeatures::accessPolicyText();
        } else {
            error = what + " (" + prolvak::statusName(status) + ")" +
                    (shareMode == SCARD_SHARE_DIRECT
                         ? ""
                         : "; is the card in properly, and no other program holding it?");
        }
        return false;
    }
    m_atrLength = std::min<uint32_t>(atrLength, static_cast<uint32_t>(m_atr.size()));
    m_reader = reader;
    m_shareMode = shareMode;
    m_protocol = protocol;
    return true;
}

} // namespace tessary::tools
