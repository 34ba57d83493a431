// SPDX-License-Identifier: BSD-3-Clause
#include "pcsc_result.h"

#include "hex_text.h"

#include <winscard.h>

#include <csignal>
#include <cstdio>

namespace tessary {

const char* pcscResultName(int64_t result) {
    // Compared in 32 bits: results reach us in 32-bit variables as often as in LONG ones.
    switch (static_cast<uint32_t>(result)) {
    case static_cast<uint32_t>(SCARD_E_BAD_SEEK):
        return "SCARD_E_BAD_SEEK";
    case static_cast<uint32_t>(SCARD_E_CANCELLED):
        return "SCARD_E_CANCELLED";
    case static_cast<uint32_t>(SCARD_E_CANT_DISPOSE):
        return "SCARD_E_CANT_DISPOSE";
    case static_cast<uint32_t>(SCARD_E_CARD_UNSUPPORTED):
        return "SCARD_E_CARD_UNSUPPORTED";
    case static_cast<uint32_t>(SCARD_E_CERTIFICATE_UNAVAILABLE):
        return "SCARD_E_CERTIFICATE_UNAVAILABLE";
    case static_cast<uint32_t>(SCARD_E_COMM_DATA_LOST):
        return "SCARD_E_COMM_DATA_LOST";
    case static_cast<uint32_t>(SCARD_E_DIR_NOT_FOUND):
        return "SCARD_E_DIR_NOT_FOUND";
    case static_cast<uint32_t>(SCARD_E_DUPLICATE_READER):
        return "SCARD_E_DUPLICATE_READER";
    case static_cast<uint32_t>(SCARD_E_FILE_NOT_FOUND):
        return "SCARD_E_FILE_NOT_FOUND";
    case static_cast<uint32_t>(SCARD_E_ICC_CREATEORDER):
        return "SCARD_E_ICC_CREATEORDER";
    case static_cast<uint32_t>(SCARD_E_ICC_INSTALLATION):
        return "SCARD_E_ICC_INSTALLATION";
    case static_cast<uint32_t>(SCARD_E_INSUFFICIENT_BUFFER):
        return "SCARD_E_INSUFFICIENT_BUFFER";
    case static_cast<uint32_t>(SCARD_E_INVALID_ATR):
        return "SCARD_E_INVALID_ATR";
    case static_cast<uint32_t>(SCARD_E_INVALID_CHV):
        return "SCARD_E_INVALID_CHV";
    case static_cast<uint32_t>(SCARD_E_INVALID_HANDLE):
        return "SCARD_E_INVALID_HANDLE";
    case static_cast<uint32_t>(SCARD_E_INVALID_PARAMETER):
        return "SCARD_E_INVALID_PARAMETER";
    case static_cast<uint32_t>(SCARD_E_INVALID_TARGET):
        return "SCARD_E_INVALID_TARGET";
    case static_cast<uint32_t>(SCARD_E_INVALID_VALUE):
        return "SCARD_E_INVALID_VALUE";
    case static_cast<uint32_t>(SCARD_E_NOT_READY):
        return "SCARD_E_NOT_READY";
    case static_cast<uint32_t>(SCARD_E_NOT_TRANSACTED):
        return "SCARD_E_NOT_TRANSACTED";
    case static_cast<uint32_t>(SCARD_E_NO_ACCESS):
        return "SCARD_E_NO_ACCESS";
    case static_cast<uint32_t>(SCARD_E_NO_DIR):
        return "SCARD_E_NO_DIR";
    case static_cast<uint32_t>(SCARD_E_NO_FILE):
        return "SCARD_E_NO_FILE";
    case static_cast<uint32_t>(SCARD_E_NO_KEY_CONTAINER):
        return "SCARD_E_NO_KEY_CONTAINER";
    case static_cast<uint32_t>(SCARD_E_NO_MEMORY):
        return "SCARD_E_NO_MEMORY";
    case static_cast<uint32_t>(SCARD_E_NO_READERS_AVAILABLE):
        return "SCARD_E_NO_READERS_AVAILABLE";
    case static_cast<uint32_t>(SCARD_E_NO_SERVICE):
        return "SCARD_E_NO_SERVICE";
    case static_cast<uint32_t>(SCARD_E_NO_SMARTCARD):
        return "SCARD_E_NO_SMARTCARD";
    case static_cast<uint32_t>(SCARD_E_NO_SUCH_CERTIFICATE):
        return "SCARD_E_NO_SUCH_CERTIFICATE";
    case static_cast<uint32_t>(SCARD_E_PCI_TOO_SMALL):
        return "SCARD_E_PCI_TOO_SMALL";
    case static_cast<uint32_t>(SCARD_E_PROTO_MISMATCH):
        return "SCARD_E_PROTO_MISMATCH";
    case static_cast<uint32_t>(SCARD_E_READER_UNAVAILABLE):
        return "SCARD_E_READER_UNAVAILABLE";
    case static_cast<uint32_t>(SCARD_E_READER_UNSUPPORTED):
        return "SCARD_E_READER_UNSUPPORTED";
    case static_cast<uint32_t>(SCARD_E_SERVER_TOO_BUSY):
        return "SCARD_E_SERVER_TOO_BUSY";
    case static_cast<uint32_t>(SCARD_E_SERVICE_STOPPED):
        return "SCARD_E_SERVICE_STOPPED";
    case static_cast<uint32_t>(SCARD_E_SHARING_VIOLATION):
        return "SCARD_E_SHARING_VIOLATION";
    case static_cast<uint32_t>(SCARD_E_SYSTEM_CANCELLED):
        return "SCARD_E_SYSTEM_CANCELLED";
    case static_cast<uint32_t>(SCARD_E_TIMEOUT):
        return "SCARD_E_TIMEOUT";
    case static_cast<uint32_t>(SCARD_E_UNKNOWN_CARD):
        return "SCARD_E_UNKNOWN_CARD";
    case static_cast<uint32_t>(SCARD_E_UNKNOWN_READER):
        return "SCARD_E_UNKNOWN_READER";
    case static_cast<uint32_t>(SCARD_E_UNKNOWN_RES_MNG):
        return "SCARD_E_UNKNOWN_RES_MNG";
    case static_cast<uint32_t>(SCARD_E_UNSUPPORTED_FEATURE): // also SCARD_E_UNEXPECTED's value
        return "SCARD_E_UNSUPPORTED_FEATURE";
    case static_cast<uint32_t>(SCARD_E_WRITE_TOO_MANY):
        return "SCARD_E_WRITE_TOO_MANY";
    case static_cast<uint32_t>(SCARD_F_COMM_ERROR):
        return "SCARD_F_COMM_ERROR";
    case static_cast<uint32_t>(SCARD_F_INTERNAL_ERROR):
        return "SCARD_F_INTERNAL_ERROR";
    case static_cast<uint32_t>(SCARD_F_UNKNOWN_ERROR):
        return "SCARD_F_UNKNOWN_ERROR";
    case static_cast<uint32_t>(SCARD_F_WAITED_TOO_LONG):
        return "SCARD_F_WAITED_TOO_LONG";
    case static_cast<uint32_t>(SCARD_P_SHUTDOWN):
        return "SCARD_P_SHUTDOWN";
    case static_cast<uint32_t>(SCARD_S_SUCCESS):
        return "SCARD_S_SUCCESS";
    case static_cast<uint32_t>(SCARD_W_CANCELLED_BY_USER):
        return "SCARD_W_CANCELLED_BY_USER";
    case static_cast<uint32_t>(SCARD_W_CARD_NOT_AUTHENTICATED):
        return "SCARD_W_CARD_NOT_AUTHENTICATED";
    case static_cast<uint32_t>(SCARD_W_CHV_BLOCKED):
        return "SCARD_W_CHV_BLOCKED";
    case static_cast<uint32_t>(SCARD_W_EOF):
        return "SCARD_W_EOF";
    case static_cast<uint32_t>(SCARD_W_REMOVED_CARD):
        return "SCARD_W_REMOVED_CARD";
    case static_cast<uint32_t>(SCARD_W_RESET_CARD):
        return "SCARD_W_RESET_CARD";
    case static_cast<uint32_t>(SCARD_W_SECURITY_VIOLATION):
        return "SCARD_W_SECURITY_VIOLATION";
    case static_cast<uint32_t>(SCARD_W_UNPOWERED_CARD):
        return "SCARD_W_UNPOWERED_CARD";
    case static_cast<uint32_t>(SCARD_W_UNRESPONSIVE_CARD):
        return "SCARD_W_UNRESPONSIVE_CARD";
    case static_cast<uint32_t>(SCARD_W_UNSUPPORTED_CARD):
        return "SCARD_W_UNSUPPORTED_CARD";
    case static_cast<uint32_t>(SCARD_W_WRONG_CHV):
        return "SCARD_W_WRONG_CHV";
    default:
        return nullptr;
    }
}

std::string pcscResultText(int64_t result) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08X", static_cast<uint32_t>(result));
    const char* name = pcscResultName(result);
    return name != nullptr ? std::string(name) + " " + code : std::string(code);
}

std::string printable(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F || c == '\\') {
            out += c == '\\' ? "\\\\" : "\\x";
            if (c != '\\') {
                appendHex(out, byte);
            }
        } else {
            out += c;
        }
    }
    return out;
}

std::string signalName(int signal) {
    switch (signal) {
    case SIGHUP:
        return "SIGHUP";
    case SIGINT:
        return "SIGINT";
    case SIGTERM:
        return "SIGTERM";
    default:
        return "signal " + std::to_string(signal);
    }
}

} // namespace tessary
