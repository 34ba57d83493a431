// SPDX-License-Identifier: BSD-3-Clause
#define PCSC_API __attribute__((visibility("default")))
#include "fake_pcsc.h"

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>

namespace fakepcsc {
namespace {

Script g_script;
std::vector<Call> g_calls;
std::set<void*> g_lists;
// Calls may come from several threads at once; the script is only read while they run.
std::mutex g_callsMutex;

uint64_t num(const void* pointer) {
    return reinterpret_cast<uint64_t>(pointer);
}

// memcpy of nothing from an empty vector's null data is still undefined.
void copyOut(void* to, const Bytes& bytes) {
    if (!bytes.empty()) {
        std::memcpy(to, bytes.data(), bytes.size());
    }
}

LONG record(Call call) {
    const std::string function = call.function;
    const std::lock_guard lock(g_callsMutex);
    g_calls.push_back(std::move(call));
    const auto it = g_script.results.find(function);
    return it == g_script.results.end() ? SCARD_S_SUCCESS : it->second;
}

} // namespace

Script& script() {
    return g_script;
}
std::vector<Call>& calls() {
    return g_calls;
}
std::vector<Call> callsOf(const std::string& function) {
    std::vector<Call> found;
    for (const auto& call : g_calls) {
        if (call.function == function) {
            found.push_back(call);
        }
    }
    return found;
}
int outstandingLists() {
    return static_cast<int>(g_lists.size());
}
void reset() {
    for (void* list : g_lists) {
        std::free(list);
    }
    g_lists.clear();
    g_script = Script{};
    g_calls.clear();
}

} // namespace fakepcsc

using namespace fakepcsc;

extern "C" {

const SCARD_IO_REQUEST g_rgSCardT0Pci = {SCARD_PROTOCOL_T0, sizeof(SCARD_IO_REQUEST)};
#ifndef FAKEPCSC_PARTIAL
const SCARD_IO_REQUEST g_rgSCardT1Pci = {SCARD_PROTOCOL_T1, sizeof(SCARD_IO_REQUEST)};
#endif
const SCARD_IO_REQUEST g_rgSCardRawPci = {SCARD_PROTOCOL_RAW, sizeof(SCARD_IO_REQUEST)};

// args: scope, reserved1, reserved2
LONG SCardEstablishContext(DWORD scope, LPCVOID r1, LPCVOID r2, LPSCARDCONTEXT context) {
    const LONG rv = record({"SCardEstablishContext", {scope, num(r1), num(r2)}, {}, {}});
    if (rv == SCARD_S_SUCCESS) {
        *context = g_script.context;
    }
    return rv;
}

// args: context
LONG SCardReleaseContext(SCARDCONTEXT context) {
    return record({"SCardReleaseContext", {static_cast<uint64_t>(context)}, {}, {}});
}

// args: context, groups, length on entry
LONG SCardListReaders(SCARDCONTEXT context, LPCSTR groups, LPSTR readers, LPDWORD length) {
    const LONG rv = record({"SCardListReaders",
                            {static_cast<uint64_t>(context), num(groups), length ? *length : 0},
                            {},
                            {}});
    if (rv != SCARD_S_SUCCESS) {
        return rv;
    }
    std::string list;
    for (const auto& name : g_script.readers) {
        list += name;
        list += '\0';
    }
    list += '\0';
    if (g_script.unterminatedList) {
        list.resize(list.size() - 2); // neither the last name nor the list is terminated
    }
    if (length == nullptr || *length != SCARD_AUTOALLOCATE) {
        return SCARD_E_INVALID_PARAMETER; // the library always asks for an allocated list
    }
    char* copy = static_cast<char*>(std::malloc(list.size() + 1));
    std::memcpy(copy, list.data(), list.size());
    g_lists.insert(copy);
    *reinterpret_cast<char**>(readers) = copy;
    *length = g_script.reportedListLength.value_or(static_cast<DWORD>(list.size()));
    return SCARD_S_SUCCESS;
}

// args: context, memory
LONG SCardFreeMemory(SCARDCONTEXT context, LPCVOID memory) {
    const LONG rv =
        record({"SCardFreeMemory", {static_cast<uint64_t>(context), num(memory)}, {}, {}});
    auto it = g_lists.find(const_cast<void*>(memory));
    if (it != g_lists.end()) {
        std::free(*it);
        g_lists.erase(it);
    }
    return rv;
}

// args: context, timeout, count, then dwCurrentState of each record; text: the names
LONG SCardGetStatusChange(SCARDCONTEXT context, DWORD timeout, SCARD_READERSTATE* states,
                          DWORD count) {
    Call call{"SCardGetStatusChange", {static_cast<uint64_t>(context), timeout, count}, {}, {}};
    for (DWORD i = 0; i < count; ++i) {
        call.args.push_back(states[i].dwCurrentState);
        call.text += std::string(states[i].szReader) + "|";
    }
    const LONG rv = record(std::move(call));
    if (rv != SCARD_S_SUCCESS) {
        return rv;
    }
    for (DWORD i = 0; i < count; ++i) {
        const auto it = g_script.eventStates.find(states[i].szReader);
        states[i].dwEventState = it == g_script.eventStates.end()
                                     ? (SCARD_STATE_EMPTY | SCARD_STATE_CHANGED)
                                     : it->second;
    }
    return rv;
}

// args: context, share mode, preferred protocols; text: the reader name
LONG SCardConnect(SCARDCONTEXT context, LPCSTR reader, DWORD share, DWORD preferred,
                  LPSCARDHANDLE card, LPDWORD protocol) {
    const LONG rv =
        record({"SCardConnect", {static_cast<uint64_t>(context), share, preferred}, reader, {}});
    if (rv == SCARD_S_SUCCESS || g_script.writeOnFailure) {
        *card = g_script.handle;
        *protocol = share == SCARD_SHARE_DIRECT ? g_script.directProtocol : g_script.activeProtocol;
    }
    return rv;
}

// args: card, names room, ATR room, state on entry, protocol on entry
LONG SCardStatus(SCARDHANDLE card, LPSTR names, LPDWORD namesLength, LPDWORD state,
                 LPDWORD protocol, LPBYTE atr, LPDWORD atrLength) {
    const LONG rv =
        record({"SCardStatus",
                {static_cast<uint64_t>(card), namesLength ? *namesLength : 0,
                 atrLength ? *atrLength : 0, state ? *state : 0, protocol ? *protocol : 0},
                {},
                {}});
    if (rv != SCARD_S_SUCCESS) {
        return rv;
    }
    const std::string& name = g_script.statusReaderName;
    if (names != nullptr && namesLength != nullptr) {
        if (*namesLength < name.size() + 2) {
            return SCARD_E_INSUFFICIENT_BUFFER;
        }
        std::memcpy(names, name.c_str(), name.size() + 1);
        names[name.size() + 1] = '\0';
        *namesLength = static_cast<DWORD>(name.size() + 2);
    }
    *state = g_script.cardState;
    *protocol = g_script.activeProtocol;
    if (*atrLength < g_script.atr.size()) {
        *atrLength = static_cast<DWORD>(g_script.atr.size());
        return SCARD_E_INSUFFICIENT_BUFFER;
    }
    copyOut(atr, g_script.atr);
    *atrLength = g_script.reportedAtrLength.value_or(static_cast<DWORD>(g_script.atr.size()));
    return SCARD_S_SUCCESS;
}

// args: card, disposition
LONG SCardDisconnect(SCARDHANDLE card, DWORD disposition) {
    return record({"SCardDisconnect", {static_cast<uint64_t>(card), disposition}, {}, {}});
}

#ifndef FAKEPCSC_PARTIAL
// args: card, send record, length, receive record, response room; bytes: the request
LONG SCardTransmit(SCARDHANDLE card, const SCARD_IO_REQUEST* sendPci, LPCBYTE send,
                   DWORD sendLength, SCARD_IO_REQUEST* recvPci, LPBYTE recv, LPDWORD recvLength) {
    const LONG rv = record({"SCardTransmit",
                            {static_cast<uint64_t>(card), num(sendPci), sendLength, num(recvPci),
                             recvLength ? *recvLength : 0},
                            {},
                            send ? Bytes(send, send + sendLength) : Bytes{}});
    if (rv != SCARD_S_SUCCESS) {
        return rv;
    }
    if (*recvLength < g_script.response.size()) {
        return SCARD_E_INSUFFICIENT_BUFFER;
    }
    copyOut(recv, g_script.response);
    *recvLength =
        g_script.reportedResponseLength.value_or(static_cast<DWORD>(g_script.response.size()));
    return SCARD_S_SUCCESS;
}

// args: card, control code, input length, output room; bytes: the input
LONG SCardControl(SCARDHANDLE card, DWORD code, LPCVOID input, DWORD inputLength, LPVOID output,
                  DWORD outputRoom, LPDWORD returned) {
    const auto* in = static_cast<const uint8_t*>(input);
    const Bytes sent = in ? Bytes(in, in + inputLength) : Bytes{};
    const LONG rv = record(
        {"SCardControl", {static_cast<uint64_t>(card), code, inputLength, outputRoom}, {}, sent});
    if (returned != nullptr) {
        *returned = 0;
    }
    if (rv != SCARD_S_SUCCESS) {
        return rv;
    }
    Bytes reply = g_script.controlResponse;
    if (g_script.control) {
        reply.clear();
        const LONG handled = g_script.control(code, sent, reply);
        if (handled != SCARD_S_SUCCESS) {
            return handled;
        }
    }
    if (outputRoom < reply.size()) {
        return SCARD_E_INSUFFICIENT_BUFFER;
    }
    copyOut(output, reply);
    *returned = g_script.reportedControlLength.value_or(static_cast<DWORD>(reply.size()));
    return SCARD_S_SUCCESS;
}
#endif

// args: card, attribute, room
LONG SCardGetAttrib(SCARDHANDLE card, DWORD attribute, LPBYTE value, LPDWORD length) {
    const LONG rv = record(
        {"SCardGetAttrib", {static_cast<uint64_t>(card), attribute, length ? *length : 0}, {}, {}});
    if (rv != SCARD_S_SUCCESS) {
        return rv;
    }
    if (*length < g_script.attribute.size()) {
        return SCARD_E_INSUFFICIENT_BUFFER;
    }
    copyOut(value, g_script.attribute);
    *length = static_cast<DWORD>(g_script.attribute.size());
    return SCARD_S_SUCCESS;
}

// args: card, attribute, length; bytes: the value
LONG SCardSetAttrib(SCARDHANDLE card, DWORD attribute, LPCBYTE value, DWORD length) {
    return record({"SCardSetAttrib",
                   {static_cast<uint64_t>(card), attribute, length},
                   {},
                   value ? Bytes(value, value + length) : Bytes{}});
}

} // extern "C"
