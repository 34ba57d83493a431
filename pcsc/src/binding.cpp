// SPDX-License-Identifier: BSD-3-Clause
#include "binding.h"

#include <dlfcn.h>

#include <string>

namespace prolvak {
namespace {

template <typename F>
struct StandIn;

template <typename R, typename... Args>
struct StandIn<R (*)(Args...)> {
    static R noService(Args...) { return SCARD_E_NO_SERVICE; }
    static R missing(Args...) { return SCARD_E_UNSUPPORTED_FEATURE; }
};

template <typename F>
void unbound(F& entry) {
    entry = &StandIn<F>::noService;
}

template <typename F>
void resolve(void* module, const char* name, F& entry) {
    void* address = ::dlsym(module, name);
    entry = address != nullptr ? reinterpret_cast<F>(address) : &StandIn<F>::missing;
}

const SCARD_IO_REQUEST* resolveRecord(void* module, const char* name) {
    return static_cast<const SCARD_IO_REQUEST*>(::dlsym(module, name));
}

Service makeUnbound() {
    Service s{};
    unbound(s.connect);
    unbound(s.disconnect);
    unbound(s.transmit);
    unbound(s.releaseContext);
    unbound(s.establishContext);
    unbound(s.status);
    unbound(s.listReaders);
    unbound(s.freeMemory);
    unbound(s.getStatusChange);
    unbound(s.control);
    unbound(s.getAttrib);
    unbound(s.setAttrib);
    unbound(s.getCardTypeProviderName);
    return s;
}

Service g_service = makeUnbound();
std::string g_libraryName = "libpcsclite.so.1";

} // namespace

const Service& service() {
    return g_service;
}

bool bindService() {
    // The service's own names; pcsc-lite has no A-suffixed forms.
    void* module = ::dlopen(g_libraryName.c_str(), RTLD_NOW);
    if (module == nullptr) {
        return false;
    }
    Service s{};
    resolve(module, "SCardConnect", s.connect);
    resolve(module, "SCardDisconnect", s.disconnect);
    resolve(module, "SCardTransmit", s.transmit);
    resolve(module, "SCardReleaseContext", s.releaseContext);
    resolve(module, "SCardEstablishContext", s.establishContext);
    resolve(module, "SCardStatus", s.status);
    s.t0Pci = resolveRecord(module, "g_rgSCardT0Pci");
    s.t1Pci = resolveRecord(module, "g_rgSCardT1Pci");
    s.rawPci = resolveRecord(module, "g_rgSCardRawPci");
    resolve(module, "SCardListReaders", s.listReaders);
    resolve(module, "SCardFreeMemory", s.freeMemory);
    resolve(module, "SCardGetStatusChange", s.getStatusChange);
    resolve(module, "SCardControl", s.control);
    resolve(module, "SCardGetAttrib", s.getAttrib);
    resolve(module, "SCardSetAttrib", s.setAttrib);
    resolve(module, "SCardGetCardTypeProviderName", s.getCardTypeProviderName);
    // A restart resolves the same addresses: the table is left alone, so that other
    // threads' calls never read it while it is being written.
    if (!(s == g_service)) {
        g_service = s;
    }
    return true;
}

void setServiceLibrary(const char* name) {
    g_libraryName = name;
}

void unbindService() {
    g_service = makeUnbound();
}

} // namespace prolvak
