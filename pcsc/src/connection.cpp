// SPDX-License-Identifier: BSD-3-Clause
// Binding the service, the context, the reader list, connecting and disconnecting.
#include "binding.h"
#include "prolvak.h"
#include "trace.h"

#include <algorithm>
#include <cstring>

using namespace prolvak;

namespace {

constexpr std::size_t kMaxNameField = 127;   // manufacturerID, slotDescription
constexpr std::size_t kMaxReaderField = 255; // szReader
constexpr DWORD kStatusNamesRoom = 200;

// The card states pcsc-lite reports as bits; the name is that of the highest one set.
const char* cardStateName(DWORD state) {
    static constexpr struct {
        DWORD bit;
        const char* name;
    } kStates[] = {
        {SCARD_SPECIFIC, "SCARD_SPECIFIC"}, {SCARD_NEGOTIABLE, "SCARD_NEGOTIABLE"},
        {SCARD_POWERED, "SCARD_POWERED"},   {SCARD_SWALLOWED, "SCARD_SWALLOWED"},
        {SCARD_PRESENT, "SCARD_PRESENT"},   {SCARD_ABSENT, "SCARD_ABSENT"},
    };
    const DWORD low = state & 0xFFFF; // the upper half counts events
    for (const auto& s : kStates) {
        if (low & s.bit) {
            return s.name;
        }
    }
    return "unknown Card State";
}

// The name up to its first blank.
void copyManufacturer(const char* name, std::size_t length, char* out) {
    std::size_t n = 0;
    while (n < length && n < kMaxNameField && name[n] != ' ') {
        out[n] = name[n];
        ++n;
    }
    out[n] = '\0';
}

// From after the first blank, until two blanks have been copied or the name ends; a
// blank that ends the copy stays as its last character.
void copyDescription(const char* name, std::size_t length, char* out) {
    const char* blank = static_cast<const char*>(std::memchr(name, ' ', length));
    std::size_t n = 0;
    if (blank != nullptr) {
        int separators = 0;
        for (const char* p = blank + 1; p < name + length && n < kMaxNameField; ++p) {
            out[n++] = *p;
            if (*p == ' ' && ++separators == 2) {
                break;
            }
        }
    }
    out[n] = '\0';
}

} // namespace

extern "C" {

PROLVAK_API int32_t InitLibrary_WIN(SCARDCONTEXT* context) {
    startTrace();
    if (!bindService()) {
        if (traceOn()) {
            TraceLock lock;
            if (lock.open()) {
                traceWrite("%15.10f --- Return KTX_PCSC_GET_WINSCARD_DLL_ERR\r\n",
                           stampRestarted());
            }
        }
        return KTX_PCSC_GET_WINSCARD_DLL_ERR;
    }
    PROLVAK_TRACE("%15.10f --- LoadLibrary WINSCARD.DLL Success\r\n");
    const LONG rv = context == nullptr
                        ? SCARD_E_INVALID_PARAMETER
                        : service().establishContext(SCARD_SCOPE_USER, nullptr, nullptr, context);
    if (rv != SCARD_S_SUCCESS) {
        traceFailure(KTX_PCSC_SCARDESTABLISHCONTEXT_ERR, rv);
        return KTX_PCSC_SCARDESTABLISHCONTEXT_ERR;
    }
    PROLVAK_TRACE("%15.10f --- Ktx_SCardEstablishContext Return KTX_SUCCESS\r\n");
    return KTX_SUCCESS;
}

PROLVAK_API int32_t ListReader_WIN(SCARDCONTEXT context, SlotInfo* slots, SCARD_READERSTATE* states,
                                   uint32_t* count) {
    PROLVAK_TRACE("%15.10f --- ListReader_WIN Enter\r\n");
    if (slots == nullptr || states == nullptr || count == nullptr) {
        return KTX_PCSC_SCARDLISTREADERS_ERR;
    }
    *count = 0;
    char* list = nullptr;
    DWORD listLength = SCARD_AUTOALLOCATE;
    LONG rv = service().listReaders(context, nullptr, reinterpret_cast<LPSTR>(&list), &listLength);
    if (rv != SCARD_S_SUCCESS) {
        return rv == SCARD_E_NO_READERS_AVAILABLE ? KTX_PCSC_NO_READER_FOUND_ERR
                                                  : KTX_PCSC_SCARDLISTREADERS_ERR;
    }
    // Never read past the length the service reported. Every name handed back to the
    // service must end within it: a list with a name that does not is refused whole.
    const std::size_t total = list == nullptr ? 0 : listLength;
    for (std::size_t at = 0; at < total && list[at] != '\0';) {
        const std::size_t length = strnlen(list + at, total - at);
        if (at + length == total) {
            service().freeMemory(context, list);
            return KTX_PCSC_SCARDLISTREADERS_ERR;
        }
        at += length + 1;
    }
    std::size_t at = 0;
    while (at < total && list[at] != '\0' && *count < PROLVAK_MAX_READERS) {
        const char* name = list + at;
        const std::size_t length = std::strlen(name);
        const uint32_t i = *count;
        SlotInfo& slot = slots[i];
        std::memset(&slot, 0, offsetof(SlotInfo, flag)); // no trace of a longer earlier name
        copyManufacturer(name, length, slot.manufacturerID);
        PROLVAK_TRACE("%15.10f --- [%d] manufacturerID = %s\r\n", static_cast<int>(i),
                      slot.manufacturerID);
        copyDescription(name, length, slot.slotDescription);
        std::memcpy(slot.szReader, name, std::min(length, kMaxReaderField));
        states[i].szReader = name;
        states[i].dwCurrentState = SCARD_STATE_UNAWARE;
        PROLVAK_TRACE("%15.10f --- [%d] slotDescription = %s\r\n", static_cast<int>(i),
                      slot.slotDescription);
        PROLVAK_TRACE("%15.10f --- [%d] szReader = %s\r\n", static_cast<int>(i), slot.szReader);
        *count = i + 1;
        at += length + 1;
    }
    if (*count > 0) {
        rv = service().getStatusChange(context, INFINITE, states, *count);
        if (rv != SCARD_S_SUCCESS) {
            service().freeMemory(context, list);
            return KTX_PCSC_SCARDGETSTATUSCHANGE_ERR;
        }
        for (uint32_t i = 0; i < *count; ++i) {
            slots[i].flag = (states[i].dwEventState & SCARD_STATE_PRESENT) ? 1 : 0;
            PROLVAK_TRACE("%15.10f --- %s => dwEventState = %XH, dwCurrentState = %XH, "
                          "SlotInfo.flag = %s\r\n",
                          slots[i].szReader, static_cast<uint32_t>(states[i].dwEventState),
                          static_cast<uint32_t>(states[i].dwCurrentState),
                          slots[i].flag == 1 ? "Card Insert" : "Card Removed");
        }
    }
    rv = service().freeMemory(context, list);
    return rv != SCARD_S_SUCCESS ? SCARD_FREE_MEMORY_ERR : KTX_SUCCESS;
}

PROLVAK_API int32_t GetCardStatus_WIN(SCARDHANDLE card, char* names, uint32_t* namesLength,
                                      uint32_t* protocol, uint32_t* state, uint8_t* atr,
                                      uint32_t* atrLength) {
    PROLVAK_TRACE("%15.10f --- GetCardStatus_WIN Enter\r\n");
    LONG rv = SCARD_E_INVALID_PARAMETER;
    DWORD cardState = 0;
    if (names != nullptr && namesLength != nullptr && protocol != nullptr && state != nullptr &&
        atr != nullptr && atrLength != nullptr && realCapacity(*namesLength) &&
        realCapacity(*atrLength)) {
        DWORD namesRoom = *namesLength;
        DWORD activeProtocol = *protocol;
        DWORD atrRoom = *atrLength;
        cardState = *state;
        rv = service().status(card, names, &namesRoom, &cardState, &activeProtocol, atr, &atrRoom);
        // A length the service reports past the room it was given is not passed on as if
        // that much had been written.
        *namesLength = static_cast<uint32_t>(
            rv == SCARD_S_SUCCESS ? std::min<DWORD>(namesRoom, *namesLength) : namesRoom);
        *atrLength = static_cast<uint32_t>(
            rv == SCARD_S_SUCCESS ? std::min<DWORD>(atrRoom, *atrLength) : atrRoom);
        *protocol = static_cast<uint32_t>(activeProtocol);
        *state = static_cast<uint32_t>(cardState);
    }
    if (rv == SCARD_S_SUCCESS) {
        PROLVAK_TRACE("%15.10f --- GetCardStatus_WIN Return KTX_SUCCESS, %s\r\n",
                      cardStateName(cardState));
        return KTX_SUCCESS;
    }
    if (rv == SCARD_W_REMOVED_CARD) {
        PROLVAK_TRACE("%15.10f --- SCardStatus Return SCARD_W_REMOVED_CARD\r\n");
        return KTX_SUCCESS;
    }
    traceFailure(KTX_PCSC_SCARDSTATUS_ERR, rv);
    return KTX_PCSC_SCARDSTATUS_ERR;
}

PROLVAK_API int32_t InitReader_WIN(SCARDCONTEXT context, const char* readerName, uint32_t shareMode,
                                   SCARDHANDLE* card, uint32_t* protocol, uint32_t* state,
                                   uint8_t* atr, uint32_t* atrLength) {
    PROLVAK_TRACE("%15.10f --- InitReader_WIN Enter, ReaderName = %s\r\n",
                  readerName != nullptr ? readerName : "");
    const bool direct = shareMode == SCARD_SHARE_DIRECT;
    if (direct) {
        PROLVAK_TRACE("%15.10f --- Call Ktx_SCardConnect, SCARD_SHARE_DIRECT\r\n");
    } else {
        PROLVAK_TRACE("%15.10f --- Call Ktx_SCardConnect, Share or Excusive\r\n");
    }
    // Refused before connecting, so that no connection is left open.
    if (readerName == nullptr || card == nullptr || protocol == nullptr || state == nullptr ||
        atr == nullptr || atrLength == nullptr || !realCapacity(*atrLength)) {
        traceFailure(KTX_PCSC_SCARDCONNECT_ERR, SCARD_E_INVALID_PARAMETER);
        return KTX_PCSC_SCARDCONNECT_ERR;
    }
    DWORD activeProtocol = *protocol;
    LONG rv = service().connect(context, readerName, shareMode,
                                direct ? 0 : (SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1), card,
                                &activeProtocol);
    *protocol = static_cast<uint32_t>(activeProtocol);
    if (rv != SCARD_S_SUCCESS) {
        traceFailure(KTX_PCSC_SCARDCONNECT_ERR, rv);
        return KTX_PCSC_SCARDCONNECT_ERR;
    }
    if (activeProtocol == SCARD_PROTOCOL_T0) {
        PROLVAK_TRACE("%15.10f --- Active protocol = %s\r\n", "SCARD_PROTOCOL_T0");
    } else if (activeProtocol == SCARD_PROTOCOL_T1) {
        PROLVAK_TRACE("%15.10f --- Active protocol = %s\r\n", "SCARD_PROTOCOL_T1");
    } else {
        PROLVAK_TRACE("%15.10f --- Active protocol = %s  or unknown\r\n",
                      "SCARD_PROTOCOL_UNDEFINED");
    }

    char names[kStatusNamesRoom] = {};
    DWORD namesRoom = kStatusNamesRoom;
    DWORD cardState = *state;
    DWORD statusProtocol = 0;
    const uint32_t atrRoom = *atrLength;
    DWORD atrSize = atrRoom;
    rv = service().status(*card, names, &namesRoom, &cardState, &statusProtocol, atr, &atrSize);
    *state = static_cast<uint32_t>(cardState);
    *atrLength = static_cast<uint32_t>(atrSize);
    if (rv != SCARD_S_SUCCESS) {
        traceFailure(KTX_PCSC_SCARDSTATUS_ERR, rv);
        return KTX_PCSC_SCARDSTATUS_ERR;
    }
    PROLVAK_TRACE("%15.10f --- Ktx_SCardStatus Return KTX_SUCCESS, %s\r\n",
                  cardStateName(cardState));
    atrSize = std::min<DWORD>(atrSize, atrRoom);
    *atrLength = static_cast<uint32_t>(atrSize);
    // A memory card's ATR comes wrapped as 3B 64 00 00 and its own four bytes.
    static constexpr uint8_t kWrapped[] = {0x3B, 0x64, 0x00, 0x00};
    if (atrSize == 8 && atrRoom >= 8 && std::memcmp(atr, kWrapped, sizeof kWrapped) == 0) {
        std::memmove(atr, atr + 4, 4);
        *atrLength = 4;
    }
    return KTX_SUCCESS;
}

PROLVAK_API int32_t CloseReader_WIN(SCARDHANDLE card) {
    PROLVAK_TRACE("%15.10f --- CloseReader_WIN Enter\r\n");
    const LONG rv = service().disconnect(card, SCARD_LEAVE_CARD);
    if (rv != SCARD_S_SUCCESS) {
        traceFailure(KTX_PCSC_SCARDDISCONNECT_ERR, rv);
        return KTX_PCSC_SCARDDISCONNECT_ERR;
    }
    PROLVAK_TRACE("%15.10f --- Ktx_SCardDisconnect Return KTX_SUCCESS\r\n");
    return KTX_SUCCESS;
}

PROLVAK_API int32_t CloseLibrary_WIN(SCARDCONTEXT context) {
    {
        // Its line is the file's last, whatever other threads are tracing.
        TraceLock lock;
        if (lock.open()) {
            traceWrite("%15.10f --- CloseLibrary_WIN Enter\r\n", stampNow());
        }
        lock.close();
    }
    return service().releaseContext(context) != SCARD_S_SUCCESS ? KTX_PCSC_SCARDRELEASECONTEXT_ERR
                                                                : KTX_SUCCESS;
}

} // extern "C"
