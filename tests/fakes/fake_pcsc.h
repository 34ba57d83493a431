// SPDX-License-Identifier: BSD-3-Clause
// A scripted stand-in for the PC/SC service library. It exports pcsc-lite's names (and
// its SONAME, libpcsclite.so.1), answers each call as the test's script says, and
// records every call with its arguments.
#pragma once

#include <winscard.h>

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#define FAKEPCSC_API __attribute__((visibility("default")))

namespace fakepcsc {

using Bytes = std::vector<uint8_t>;

struct Call {
    std::string function;       // pcsc-lite's name, e.g. "SCardConnect"
    std::vector<uint64_t> args; // the numeric arguments in order (see each function)
    std::string text;           // a reader name passed in, or the reader states' names
    Bytes bytes;                // bytes sent
};

struct Script {
    // The result of each function by name; 0 when not set.
    std::map<std::string, LONG> results;

    SCARDCONTEXT context = 0x1C0;
    SCARDHANDLE handle = 0xCA7D;

    // SCardListReaders: the names, and optionally a length to report instead of the true
    // one, or a list whose final terminator is missing.
    std::vector<std::string> readers;
    std::optional<DWORD> reportedListLength;
    bool unterminatedList = false;
    // SCardGetStatusChange: dwEventState by reader name; others get SCARD_STATE_EMPTY.
    std::map<std::string, DWORD> eventStates;

    // SCardConnect / SCardStatus.
    DWORD activeProtocol = SCARD_PROTOCOL_T1;
    DWORD directProtocol = 0;
    bool writeOnFailure = false; // a failing connect still writes handle and protocol
    std::string statusReaderName = "KALDOR TR-100 00 00";
    DWORD cardState = SCARD_PRESENT | SCARD_POWERED | SCARD_NEGOTIABLE;
    Bytes atr{0x3B, 0x88, 0x80, 0x31, 0xFE, 0x45, 0x80, 0x31,
              0xC0, 0x73, 0xC8, 0x21, 0x10, 0x01, 0x78};
    std::optional<DWORD> reportedAtrLength;

    // SCardTransmit, SCardControl, SCardGetAttrib.
    Bytes response{0x90, 0x00};
    std::optional<DWORD> reportedResponseLength;
    Bytes controlResponse{0x90, 0x00};
    // A count of returned bytes to report instead of the reply's true size.
    std::optional<DWORD> reportedControlLength;
    // When set, answers SCardControl in place of `controlResponse`: fills the reply and
    // returns the result.
    std::function<LONG(DWORD code, const Bytes& input, Bytes& reply)> control;
    Bytes attribute{'K', 'A', 'L', 'D', 'O', 'R', 0};
};

FAKEPCSC_API Script& script();
FAKEPCSC_API std::vector<Call>& calls();
// The calls of one function, in order.
FAKEPCSC_API std::vector<Call> callsOf(const std::string& function);
// Reader lists handed out and not freed yet.
FAKEPCSC_API int outstandingLists();
FAKEPCSC_API void reset();

} // namespace fakepcsc
