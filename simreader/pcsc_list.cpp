// SPDX-License-Identifier: BSD-3-Clause
// pcsc-list: lists the readers pcscd serves, with the card in each and its ATR, through
// libpcsclite as any client sees them. --wait N first waits until N readers are listed.
#include "tessary_version.h"

#include <winscard.h>

#include <getopt.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kUsageLine = "Usage: pcsc-list [--wait READERS] [--timeout SECONDS]\n";
constexpr const char* kHelp =
    "Lists the readers that the PC/SC service (pcscd) serves, with the state of the card in\n"
    "each and its ATR, as any PC/SC client sees them.\n"
    "\n"
    "Options:\n"
    "  -w, --wait READERS     first wait until at least READERS readers (0 to 16) are\n"
    "                         listed\n"
    "  -t, --timeout SECONDS  how long to wait for the service and the readers, 0 to\n"
    "                         3600 (default: 10 with --wait, otherwise no waiting)\n"
    "  -h, --help             show this help and exit\n"
    "      --version          show the version and exit\n"
    "\n"
    "PCSCLITE_CSOCK_NAME in the environment names the service's socket, as for any\n"
    "client of libpcsclite.\n"
    "\n"
    "Exit status: 0 when the readers are listed, 1 when fewer than READERS came within\n"
    "the timeout, 2 for a usage error or when the PC/SC service cannot be reached.\n"
    "\n"
    "Examples:\n"
    "  pcsc-list --wait 3 --timeout 5\n";

// pcscd and libpcsclite serve at most this many readers, so a larger wait can never end.
constexpr unsigned long kMaxReaders = PCSCLITE_MAX_READERS_CONTEXTS;
constexpr double kMaxTimeoutSeconds = 3600.0;

struct Options {
    std::size_t wanted = 0;
    double timeoutSeconds = 0.0;
};

int usageError(const char* message, const char* value = nullptr) {
    if (value) {
        std::fprintf(stderr, "pcsc-list: %s '%s'\n", message, value);
    } else {
        std::fprintf(stderr, "pcsc-list: %s\n", message);
    }
    std::fprintf(stderr, "%sTry 'pcsc-list --help' for more.\n", kUsageLine);
    return 2;
}

// A whole decimal number within [0, max], nothing before or after it.
bool parseCount(const char* text, unsigned long max, std::size_t& value) {
    if (*text < '0' || *text > '9') {
        return false; // no sign, no blank
    }
    char* end = nullptr;
    errno = 0;
    const unsigned long parsed = std::strtoul(text, &end, 10);
    if (errno != 0 || *end != '\0' || parsed > max) {
        return false;
    }
    value = parsed;
    return true;
}

bool parseSeconds(const char* text, double& value) {
    if ((*text < '0' || *text > '9') && *text != '.') {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    const double parsed = std::strtod(text, &end);
    if (errno != 0 || *end != '\0' || !std::isfinite(parsed) || parsed > kMaxTimeoutSeconds) {
        return false;
    }
    value = parsed;
    return true;
}

// Reads the options; returns -1 to go on, otherwise the exit status.
int parseOptions(int argc, char** argv, Options& options) {
    static const option kOptions[] = {{"wait", required_argument, nullptr, 'w'},
                                      {"timeout", required_argument, nullptr, 't'},
                                      {"help", no_argument, nullptr, 'h'},
                                      {"version", no_argument, nullptr, 'V'},
                                      {nullptr, 0, nullptr, 0}};
    bool waitGiven = false;
    bool timeoutGiven = false;
    double timeoutSeconds = 0.0;
    opterr = 0; // our own messages
    for (int c; (c = getopt_long(argc, argv, ":w:t:h", kOptions, nullptr)) != -1;) {
        switch (c) {
        case 'w':
            if (!parseCount(optarg, kMaxReaders, options.wanted)) {
                return usageError("--wait takes a number of readers from 0 to 16, not", optarg);
            }
            waitGiven = true;
            break;
        case 't':
            if (!parseSeconds(optarg, timeoutSeconds)) {
                return usageError("--timeout takes seconds from 0 to 3600, not", optarg);
            }
            timeoutGiven = true;
            break;
        case 'h':
            std::printf("%s%s", kUsageLine, kHelp);
            return 0;
        case 'V':
            std::printf("pcsc-list (Tessary) %s\n", TESSARY_VERSION);
            return 0;
        case ':':
            return usageError("missing value for", argv[optind - 1]);
        default:
            if (optopt) { // a short option inside a cluster leaves optind where it was
                const char shortOption[] = {'-', static_cast<char>(optopt), '\0'};
                return usageError("unknown option", shortOption);
            }
            return usageError("unknown option", argv[optind - 1]);
        }
    }
    if (optind < argc) {
        return usageError("unexpected argument", argv[optind]);
    }
    // Without --wait or --timeout, one look: a missing service is reported at once.
    options.timeoutSeconds = timeoutGiven ? timeoutSeconds : waitGiven ? 10.0 : 0.0;
    return -1;
}

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
    Options options;
    if (const int status = parseOptions(argc, argv, options); status >= 0) {
        return status;
    }
    const std::size_t wanted = options.wanted;
    const auto deadline =
        Clock::now() + std::chrono::milliseconds(static_cast<long>(options.timeoutSeconds * 1000));

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
            if (rv == SCARD_E_NO_SERVICE) {
                std::fprintf(stderr,
                             "pcsc-list: cannot reach the PC/SC service (is pcscd running?)\n");
                return 2;
            }
            if (rv != SCARD_S_SUCCESS) {
                std::fprintf(stderr, "pcsc-list: %s\n", pcsc_stringify_error(rv));
            } else {
                std::fprintf(stderr, "pcsc-list: %zu of %zu readers after %.1f s\n", names.size(),
                             wanted, options.timeoutSeconds);
            }
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
