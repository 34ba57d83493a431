// SPDX-License-Identifier: BSD-3-Clause
#include "sim_pcscd.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <sys/wait.h>
#include <thread>

namespace simtest {
namespace {

// A test gets the private daemon's folder (one environment variable is all CTest passes
// through discovered tests); its clients reach the daemon through PCSCLITE_CSOCK_NAME,
// which libpcsclite reads once, so it is set before any test runs.
const bool g_socketFromFolder = [] {
    const char* folder = std::getenv("SIM_PCSCD_DIR");
    if (folder != nullptr && *folder != '\0') {
        const std::string socket = std::string(folder) + "/run/pcscd/pcscd.comm";
        ::setenv("PCSCLITE_CSOCK_NAME", socket.c_str(), 0);
    }
    return true;
}();

} // namespace

int simCtl(const std::vector<std::string>& args, std::string* output) {
    std::string command = "'" SIMREADER_CTL "'";
    for (const auto& arg : args) {
        command += " '" + arg + "'"; // test arguments never hold quotes
    }
    command += " 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return -1;
    }
    std::string text;
    std::array<char, 512> chunk{};
    while (std::fgets(chunk.data(), static_cast<int>(chunk.size()), pipe) != nullptr) {
        text += chunk.data();
    }
    const int status = ::pclose(pipe);
    if (output != nullptr) {
        *output = text;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::map<std::string, std::string> readerStatus(const std::string& configuredName) {
    std::string output;
    simCtl({"status"}, &output);
    std::istringstream lines(output);
    std::string line;
    const std::string prefix = configuredName + ": ";
    std::map<std::string, std::string> fields;
    while (std::getline(lines, line)) {
        if (!line.starts_with(prefix)) {
            continue;
        }
        std::istringstream words(line.substr(prefix.size()));
        std::string word;
        while (words >> word) {
            const auto eq = word.find('=');
            if (eq != std::string::npos) {
                fields[word.substr(0, eq)] = word.substr(eq + 1);
            }
        }
    }
    return fields;
}

void restoreDefaultCards() {
    const std::vector<std::pair<std::string, std::string>> defaults{
        {kContactReader, "apdu"}, {kContactlessReader, "apdu-cl"}, {kEmptyReader, "none"}};
    Context context;
    ASSERT_EQ(context.result(), SCARD_S_SUCCESS);
    for (const auto& [reader, card] : defaults) {
        const std::string name = pcscName(context.get(), reader);
        const std::string current = readerStatus(reader)["card"];
        if (current != card) {
            // Out first and seen out, so that a swap is never mistaken for the new card.
            if (current != "none") {
                ASSERT_EQ(simCtl({"remove", reader}), 0);
                ASSERT_TRUE(waitForCard(context.get(), name, false)) << reader;
            }
            if (card != "none") {
                ASSERT_EQ(simCtl({"insert", reader, card}), 0);
            }
        }
        ASSERT_TRUE(waitForCard(context.get(), name, card != "none")) << reader;
    }
}

Context::Context() {
    m_result = SCardEstablishContext(SCARD_SCOPE_SYSTEM, nullptr, nullptr, &m_context);
}

Context::~Context() {
    if (m_result == SCARD_S_SUCCESS) {
        SCardReleaseContext(m_context);
    }
}

std::vector<std::string> listReaders(SCARDCONTEXT context) {
    DWORD length = 0;
    std::vector<std::string> names;
    if (SCardListReaders(context, nullptr, nullptr, &length) != SCARD_S_SUCCESS) {
        return names;
    }
    std::string list(length, '\0');
    if (SCardListReaders(context, nullptr, list.data(), &length) != SCARD_S_SUCCESS) {
        return names;
    }
    for (std::size_t at = 0; at < list.size() && list[at] != '\0';) {
        names.emplace_back(list.c_str() + at);
        at += names.back().size() + 1;
    }
    return names;
}

std::string pcscName(SCARDCONTEXT context, const std::string& configuredName) {
    for (const auto& name : listReaders(context)) {
        // pcscd appends " <index> <slot>", two hexadecimal bytes.
        if (name.size() == configuredName.size() + 6 && name.starts_with(configuredName + " ")) {
            return name;
        }
    }
    return configuredName + " (not listed)";
}

bool waitForCard(SCARDCONTEXT context, const std::string& reader, bool present,
                 std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    SCARD_READERSTATE state{};
    state.szReader = reader.c_str();
    state.dwCurrentState = SCARD_STATE_UNAWARE;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        const LONG rv = SCardGetStatusChange(
            context, static_cast<DWORD>(std::max<long>(left.count(), 0)), &state, 1);
        if (rv != SCARD_S_SUCCESS) {
            return false;
        }
        const bool isPresent = (state.dwEventState & SCARD_STATE_PRESENT) != 0;
        const bool isEmpty = (state.dwEventState & SCARD_STATE_EMPTY) != 0;
        if (present ? isPresent : isEmpty) {
            return true;
        }
        if (left.count() <= 0) {
            return false;
        }
        state.dwCurrentState = state.dwEventState & ~SCARD_STATE_CHANGED;
    }
}

DWORD readerState(SCARDCONTEXT context, const std::string& reader) {
    SCARD_READERSTATE state{};
    state.szReader = reader.c_str();
    state.dwCurrentState = SCARD_STATE_UNAWARE;
    return SCardGetStatusChange(context, 0, &state, 1) == SCARD_S_SUCCESS ? state.dwEventState : 0;
}

bool waitForCardEvent(SCARDCONTEXT context, const std::string& reader, DWORD since, bool present,
                      std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    const DWORD events = since >> 16;
    do {
        if (!waitForCard(context, reader, present,
                         std::chrono::duration_cast<std::chrono::milliseconds>(
                             deadline - std::chrono::steady_clock::now()))) {
            return false;
        }
        if (readerState(context, reader) >> 16 != events) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    } while (std::chrono::steady_clock::now() < deadline);
    return false;
}

uint16_t statusWord(const Bytes& response) {
    if (response.size() < 2) {
        return 0;
    }
    return static_cast<uint16_t>(response[response.size() - 2] << 8 | response.back());
}

std::string hex(const Bytes& bytes) {
    std::string text;
    char pair[4];
    for (auto byte : bytes) {
        std::snprintf(pair, sizeof pair, "%02X ", byte);
        text += pair;
    }
    if (!text.empty()) {
        text.pop_back();
    }
    return text;
}

} // namespace simtest
