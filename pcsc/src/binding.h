// SPDX-License-Identifier: BSD-3-Clause
// The PC/SC service as the library reaches it: entry points resolved by name from the
// service library loaded at run time. Every entry point always holds something callable:
// before the service is bound, a stand-in that answers SCARD_E_NO_SERVICE; for a name the
// service lacks, one that answers SCARD_E_UNSUPPORTED_FEATURE. So no call ever goes
// through a missing function, and each call reports its own failure code.
#pragma once

#include <winscard.h>

#include <cstdint>

namespace prolvak {

using GetCardTypeProviderNameFn = LONG (*)(SCARDCONTEXT, LPCSTR, DWORD, LPSTR, LPDWORD);

struct Service {
    decltype(&::SCardConnect) connect;
    decltype(&::SCardDisconnect) disconnect;
    decltype(&::SCardTransmit) transmit;
    decltype(&::SCardReleaseContext) releaseContext;
    decltype(&::SCardEstablishContext) establishContext;
    decltype(&::SCardStatus) status;
    const SCARD_IO_REQUEST* t0Pci; // null when the service has no such record
    const SCARD_IO_REQUEST* t1Pci;
    const SCARD_IO_REQUEST* rawPci;
    decltype(&::SCardListReaders) listReaders;
    decltype(&::SCardFreeMemory) freeMemory;
    decltype(&::SCardGetStatusChange) getStatusChange;
    decltype(&::SCardControl) control;
    decltype(&::SCardGetAttrib) getAttrib;
    decltype(&::SCardSetAttrib) setAttrib;
    GetCardTypeProviderNameFn getCardTypeProviderName;

    bool operator==(const Service&) const = default;
};

// A capacity the caller's buffer really has. The other platform's "allocate for me"
// (SCARD_AUTOALLOCATE) passed as a 32-bit capacity is 0xFFFFFFFF: widened, it would
// offer the service 4 GiB of room in a buffer of a few bytes; pcsc-lite's own (DWORD)-1
// would make it allocate for the caller. Neither is a size.
inline bool realCapacity(uint64_t capacity) {
    return capacity != 0xFFFFFFFFu && capacity != static_cast<uint64_t>(SCARD_AUTOALLOCATE);
}

// The bindings in force.
const Service& service();

// Loads the service library (once; it is never unloaded) and resolves every name afresh.
// False when the library cannot be loaded; the bindings are then left as they were.
bool bindService();

// The library loaded by name; tests point it elsewhere.
void setServiceLibrary(const char* name);
// Back to nothing bound (tests only).
void unbindService();

} // namespace prolvak
