// SPDX-License-Identifier: BSD-3-Clause
#include "bench_session.h"

#include "cordrel.h"

#include <PCSC/reader.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace bench {
namespace {

[[noreturn]] void giveUp(const char* what, LONG rv) {
    std::fprintf(stderr, "bench: %s: %s (start the readers with scripts/bench)\n", what,
                 pcsc_stringify_error(rv));
    std::exit(1);
}

std::string readerNamed(SCARDCONTEXT context, const std::string& configured, bool required = true) {
    DWORD length = 0;
    LONG rv = SCardListReaders(context, nullptr, nullptr, &length);
    if (rv != SCARD_S_SUCCESS) {
        giveUp("listing readers", rv);
    }
    std::vector<char> list(length);
    rv = SCardListReaders(context, nullptr, list.data(), &length);
    if (rv != SCARD_S_SUCCESS) {
        giveUp("listing readers", rv);
    }
    for (const char* name = list.data(); *name != '\0'; name += std::string(name).size() + 1) {
        if (std::string(name).starts_with(configured + " ")) {
            return name;
        }
    }
    if (required) {
        giveUp(configured.c_str(), SCARD_E_UNKNOWN_READER);
    }
    return {};
}

} // namespace

Session::Session() {
    LONG rv = SCardEstablishContext(SCARD_SCOPE_SYSTEM, nullptr, nullptr, &m_context);
    if (rv != SCARD_S_SUCCESS) {
        giveUp("establishing a context", rv);
    }
    m_cardReader = readerNamed(m_context, "KALDOR TR-100");
    rv = SCardConnect(m_context, m_cardReader.c_str(), SCARD_SHARE_SHARED,
                      SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1, &m_card, &m_protocol);
    if (rv != SCARD_S_SUCCESS) {
        giveUp("connecting to KALDOR TR-100", rv);
    }
    DWORD unused = 0;
    rv = SCardConnect(m_context, readerNamed(m_context, "Generic Reader").c_str(),
                      SCARD_SHARE_DIRECT, 0, &m_direct, &unused);
    if (rv != SCARD_S_SUCCESS) {
        giveUp("connecting to Generic Reader", rv);
    }
}

SCARDHANDLE Session::memoryCard(bool sle4428) {
    SCARDHANDLE& card = sle4428 ? m_sle4428 : m_sle4442;
    if (card != 0) {
        return card;
    }
    const std::string reader =
        readerNamed(m_context, sle4428 ? "Memory 4428" : "Memory 4442", false);
    DWORD protocol = 0;
    if (reader.empty() || SCardConnect(m_context, reader.c_str(), SCARD_SHARE_SHARED,
                                       SCARD_PROTOCOL_T0, &card, &protocol) != SCARD_S_SUCCESS) {
        return card = 0;
    }
    if (!sle4428) {
        SLE4442_Compare_Verification_Data(card, 0xFF, 0xFF, 0xFF); // writes then take effect
    }
    return card;
}

SCARDHANDLE Session::escapeMemoryCard() {
    if (m_escape4428 != 0) {
        return m_escape4428;
    }
    const std::string reader = readerNamed(m_context, "CCID Memory 4428", false);
    DWORD protocol = 0;
    if (reader.empty() ||
        SCardConnect(m_context, reader.c_str(), SCARD_SHARE_SHARED, SCARD_PROTOCOL_T0,
                     &m_escape4428, &protocol) != SCARD_S_SUCCESS) {
        m_escape4428 = 0;
    }
    return m_escape4428;
}

Session::~Session() {
    SCardDisconnect(m_escape4428, SCARD_LEAVE_CARD);
    SCardDisconnect(m_sle4428, SCARD_LEAVE_CARD);
    SCardDisconnect(m_sle4442, SCARD_LEAVE_CARD);
    SCardDisconnect(m_card, SCARD_LEAVE_CARD);
    SCardDisconnect(m_direct, SCARD_LEAVE_CARD);
    SCardReleaseContext(m_context);
}

Session& session() {
    static Session s;
    return s;
}

bool Session::transmit() {
    uint8_t answer[64];
    DWORD length = sizeof answer;
    const SCARD_IO_REQUEST* pci = m_protocol == SCARD_PROTOCOL_T1 ? SCARD_PCI_T1 : SCARD_PCI_T0;
    return SCardTransmit(m_card, pci, kApdu.data(), kApdu.size(), nullptr, answer, &length) ==
               SCARD_S_SUCCESS &&
           length == 10;
}

bool Session::control() {
    uint8_t answer[8];
    DWORD returned = 0;
    return SCardControl(m_direct, SCARD_CTL_CODE(3500), kLedCommand.data(), kLedCommand.size(),
                        answer, sizeof answer, &returned) == SCARD_S_SUCCESS &&
           returned == 2;
}

} // namespace bench
