// pcsc-list: lists the readers pcscd serves, with the card in each and its ATR, through
// libpcsclite as any client sees them. --wait N first waits until N readers are listed.
#include <winscard.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

const char* stateText(DWORD state) {
    if (state & SCARD_STATE_MUTE) {
        return "mute card";
    }
    if (state & SCARD_STATE_PRESENT) {
        return (state & SCARD_STATE_INUSE) ? "card present, in use" : "card present";
    }
    if (state & SCARD_STATE_EMPTY) {
        return "no card";
    }
    return "state unknown";
}

std::vector<std::string> splitMultiString(const char* list, DWORD length) {
    std::vector<std::string> names;
    for (DWORD at = 0; at < length && list[at] != '\0';) {
        const std::size_t len = strnlen(list + at, length - at);
        names.emplace_back(list + at, len);
        at += static_cast<DWORD>(len) + 1;
    }
    return names;
}

// Lists the readers; an empty list when there are none yet.
LONG listReaders(SCARDCONTEXT context, std::vector<std::string>& names) {
    char* list = nullptr;
    DWORD length = SCARD_AUTOALLOCATE;
    const LONG rv = SCardListReaders(context, nullptr, reinterpret_cast<char*>(&list), &length);
    names.clear();
    if (rv == SCARD_E_NO_READERS_AVAILABLE) {
        return SCARD_S_SUCCESS;
    }
    if (rv != SCARD_S_SUCCESS) {
        return rv;
    }
    names = splitMultiString(list, length);
    SCardFreeMemory(context, list);
    return SCARD_S_SUCCESS;
}

} // namespace

int main(int argc, char** argv) {
    std::size_t wanted = 0;
    double timeoutSeconds = 10.0;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--wait" && i + 1 < argc) {
            wanted = std::strtoul(argv[++i], nullptr, 10);
        } else if (arg == "--timeout" && i + 1 < argc) {
            timeoutSeconds = std::strtod(argv[++i], nullptr);
        } else {
            std::fprintf(stderr, "usage: pcsc-list [--wait READERS] [--timeout SECONDS]\n");
            return 2;
        }
    }
    const auto deadline =
        Clock::now() + std::chrono::milliseconds(static_cast<long>(timeoutSeconds * 1000));

    SCARDCONTEXT context = 0;
    std::vector<std::string> names;
    LONG rv = SCARD_S_SUCCESS;
    for (;;) {
        rv = SCardEstablishContext(SCARD_SCOPE_SYSTEM, nullptr, nullptr, &context);
        if (rv == SCARD_S_SUCCESS) {
            rv = listReaders(context, names);
            if (rv == SCARD_S_SUCCESS && names.size() >= wanted) {
                break;
            }
            if (rv == SCARD_S_SUCCESS) {
                // Wake up when the reader list changes, or soon anyway.
                SCARD_READERSTATE pnp{};
                pnp.szReader = "\\\\?PnP?\\Notification";
                pnp.dwCurrentState = static_cast<DWORD>(names.size()) << 16;
                SCardGetStatusChange(context, 100, &pnp, 1);
            }
            SCardReleaseContext(context);
            context = 0;
        }
        if (Clock::now() >= deadline) {
            std::fprintf(stderr, "pcsc-list: %zu of %zu readers after %.1f s: %s\n", names.size(),
                         wanted, timeoutSeconds, pcsc_stringify_error(rv));
            return 1;
        }
        if (rv != SCARD_S_SUCCESS) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10)); // daemon not up yet
        }
    }

    std::vector<SCARD_READERSTATE> states(names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
        states[i].szReader = names[i].c_str();
        states[i].dwCurrentState = SCARD_STATE_UNAWARE;
    }
    if (!states.empty()) {
        rv = SCardGetStatusChange(context, 0, states.data(), static_cast<DWORD>(states.size()));
        if (rv != SCARD_S_SUCCESS) {
            std::fprintf(stderr, "pcsc-list: %s\n", pcsc_stringify_error(rv));
            SCardReleaseContext(context);
            return 1;
        }
    }
    if (names.empty()) {
        std::printf("no readers\n");
    }
    for (const auto& state : states) {
        std::printf("%s: %s", state.szReader, stateText(state.dwEventState));
        if (state.dwEventState & SCARD_STATE_PRESENT) {
            std::printf(", ATR");
            for (DWORD i = 0; i < state.cbAtr && i < sizeof state.rgbAtr; ++i) {
                std::printf(" %02X", state.rgbAtr[i]);
            }
        }
        std::printf("\n");
    }
    SCardReleaseContext(context);
    return 0;
}
