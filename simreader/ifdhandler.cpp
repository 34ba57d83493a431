// SPDX-License-Identifier: BSD-3-Clause
// The IFD handler entry points pcscd calls (API v3). They stay thin: find the reader by
// its logical unit number, check the daemon's pointers and lengths, and hand over to it.
// Nothing thrown inside ever reaches the daemon.
#include "ifd.h"
#include "reader.h"

#include <array>
#include <memory>
#include <mutex>
#include <string_view>

#define SIM_EXPORT extern "C" __attribute__((visibility("default")))

namespace simreader {
namespace {

// pcscd numbers the readers it loads through one driver in the upper half of the LUN.
constexpr std::size_t kMaxReaders = PCSCLITE_MAX_READERS_CONTEXTS;
constexpr std::string_view kDevicePrefix = "sim:";

std::mutex g_tableMutex;
std::array<std::shared_ptr<Reader>, kMaxReaders> g_readers;

std::optional<std::size_t> indexOf(DWORD lun) {
    const std::size_t index = static_cast<std::size_t>(lun >> 16);
    if (index >= kMaxReaders || (lun & 0xFFFF) != 0) { // one slot per reader
        return std::nullopt;
    }
    return index;
}

std::shared_ptr<Reader> readerFor(DWORD lun) {
    const auto index = indexOf(lun);
    if (!index) {
        return nullptr;
    }
    std::lock_guard lock(g_tableMutex);
    return g_readers[*index];
}

template <typename F>
RESPONSECODE guarded(F&& body) noexcept {
    try {
        return body();
    } catch (...) {
        return IFD_COMMUNICATION_ERROR;
    }
}

} // namespace
} // namespace simreader

using namespace simreader;

SIM_EXPORT RESPONSECODE IFDHCreateChannelByName(DWORD Lun, LPSTR DeviceName) {
    return guarded([&]() -> RESPONSECODE {
        const auto index = indexOf(Lun);
        if (DeviceName == nullptr || !index) {
            return IFD_COMMUNICATION_ERROR;
        }
        const std::string_view device(DeviceName);
        if (!device.starts_with(kDevicePrefix)) {
            return IFD_NO_SUCH_DEVICE;
        }
        const std::filesystem::path folder(device.substr(kDevicePrefix.size()));
        std::error_code ec;
        if (!std::filesystem::is_directory(folder, ec)) {
            return IFD_NO_SUCH_DEVICE;
        }
        auto reader = std::make_shared<Reader>(folder);
        std::lock_guard lock(g_tableMutex);
        g_readers[*index] = std::move(reader);
        return IFD_SUCCESS;
    });
}

SIM_EXPORT RESPONSECODE IFDHCreateChannel(DWORD Lun, DWORD Channel) {
    (void)Lun;
    (void)Channel;
    return IFD_NO_SUCH_DEVICE; // simulated readers are named by DEVICENAME only
}

SIM_EXPORT RESPONSECODE IFDHCloseChannel(DWORD Lun) {
    return guarded([&]() -> RESPONSECODE {
        const auto index = indexOf(Lun);
        if (!index) {
            return IFD_COMMUNICATION_ERROR;
        }
        std::shared_ptr<Reader> closing;
        {
            std::lock_guard lock(g_tableMutex);
            closing = std::move(g_readers[*index]);
        }
        if (closing) {
            DWORD length = 0;
            closing->power(IFD_POWER_DOWN, {}, length);
        }
        return IFD_SUCCESS;
    });
}

SIM_EXPORT RESPONSECODE IFDHGetCapabilities(DWORD Lun, DWORD Tag, PDWORD Length, PUCHAR Value) {
    return guarded([&]() -> RESPONSECODE {
        auto reader = readerFor(Lun);
        if (!reader || Length == nullptr) {
            return IFD_COMMUNICATION_ERROR;
        }
        const std::size_t room = Value == nullptr ? 0 : *Length;
        return reader->capability(Tag, {Value, room}, *Length);
    });
}

SIM_EXPORT RESPONSECODE IFDHSetCapabilities(DWORD Lun, DWORD Tag, DWORD Length, PUCHAR Value) {
    (void)Tag;
    (void)Length;
    (void)Value;
    return guarded(
        [&]() -> RESPONSECODE { return readerFor(Lun) ? IFD_ERROR_TAG : IFD_COMMUNICATION_ERROR; });
}

SIM_EXPORT RESPONSECODE IFDHSetProtocolParameters(DWORD Lun, DWORD Protocol, UCHAR Flags,
                                                  UCHAR PTS1, UCHAR PTS2, UCHAR PTS3) {
    (void)Flags;
    (void)PTS1;
    (void)PTS2;
    (void)PTS3;
    return guarded([&]() -> RESPONSECODE {
        auto reader = readerFor(Lun);
        return reader ? reader->setProtocol(Protocol) : IFD_COMMUNICATION_ERROR;
    });
}

SIM_EXPORT RESPONSECODE IFDHPowerICC(DWORD Lun, DWORD Action, PUCHAR Atr, PDWORD AtrLength) {
    return guarded([&]() -> RESPONSECODE {
        auto reader = readerFor(Lun);
        if (!reader) {
            return IFD_COMMUNICATION_ERROR;
        }
        DWORD length = (Atr == nullptr || AtrLength == nullptr) ? 0 : *AtrLength;
        const RESPONSECODE rc = reader->power(Action, {Atr, length}, length);
        if (AtrLength != nullptr) {
            *AtrLength = length;
        }
        return rc;
    });
}

SIM_EXPORT RESPONSECODE IFDHTransmitToICC(DWORD Lun, SCARD_IO_HEADER SendPci, PUCHAR TxBuffer,
                                          DWORD TxLength, PUCHAR RxBuffer, PDWORD RxLength,
                                          PSCARD_IO_HEADER RecvPci) {
    (void)SendPci;
    (void)RecvPci;
    return guarded([&]() -> RESPONSECODE {
        if (RxLength == nullptr) {
            return IFD_COMMUNICATION_ERROR;
        }
        const std::size_t room = RxBuffer == nullptr ? 0 : *RxLength;
        *RxLength = 0;
        auto reader = readerFor(Lun);
        if (!reader || (TxBuffer == nullptr && TxLength != 0)) {
            return IFD_COMMUNICATION_ERROR;
        }
        return reader->transmit({TxBuffer, TxBuffer == nullptr ? 0 : TxLength}, {RxBuffer, room},
                                *RxLength);
    });
}

SIM_EXPORT RESPONSECODE IFDHControl(DWORD Lun, DWORD dwControlCode, PUCHAR TxBuffer, DWORD TxLength,
                                    PUCHAR RxBuffer, DWORD RxLength, LPDWORD pdwBytesReturned) {
    return guarded([&]() -> RESPONSECODE {
        if (pdwBytesReturned == nullptr) {
            return IFD_COMMUNICATION_ERROR;
        }
        *pdwBytesReturned = 0;
        auto reader = readerFor(Lun);
        if (!reader || (TxBuffer == nullptr && TxLength != 0)) {
            return IFD_COMMUNICATION_ERROR;
        }
        return reader->control(dwControlCode, {TxBuffer, TxBuffer == nullptr ? 0 : TxLength},
                               {RxBuffer, RxBuffer == nullptr ? 0 : RxLength}, *pdwBytesReturned);
    });
}

SIM_EXPORT RESPONSECODE IFDHICCPresence(DWORD Lun) {
    return guarded([&]() -> RESPONSECODE {
        auto reader = readerFor(Lun);
        return reader ? reader->presence() : IFD_COMMUNICATION_ERROR;
    });
}
