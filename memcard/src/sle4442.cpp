// SPDX-License-Identifier: BSD-3-Clause
// SLE4442 and SLE4432. Every SLE4432 export is the SLE4442 function of the same operation,
// but for the checked update, which is a function of its own that behaves the same.
#include "frame.h"

#include <algorithm>
#include <array>

using namespace cordrel;

namespace {

constexpr uint8_t kReadMain = 0x30;
constexpr uint8_t kUpdateMain = 0x38;
constexpr uint8_t kReadProtection = 0x34;
constexpr uint8_t kWriteProtection = 0x3C;
constexpr uint8_t kReadSecurity = 0x31;
constexpr uint8_t kUpdateSecurity = 0x39;
constexpr uint8_t kCompare = 0x33;

constexpr uint32_t kMainSize = 256;
constexpr uint32_t kProtectedSize = 32; // main addresses with a protection bit
constexpr uint32_t kSecuritySize = 4;
constexpr uint8_t kCounterFull = 7;

// One frame per byte, the address rising by one; the first failure ends it. A range
// outside the area of `size` bytes, or no data, sends nothing.
LONG writeBytes(SCARDHANDLE card, uint8_t command, const uint8_t* data, uint32_t address,
                uint32_t length, uint32_t size) {
    if (data == nullptr || !fits(address, length, size)) {
        return SCARD_E_INVALID_PARAMETER;
    }
    for (uint32_t i = 0; i < length; ++i) {
        const LONG rv =
            sendFrame(card, makeFrame(command, static_cast<uint8_t>(address + i), data[i]));
        if (rv != SCARD_S_SUCCESS) {
            return rv;
        }
    }
    return SCARD_S_SUCCESS;
}

// A read that reports no count: every byte asked for must come back, or the caller's
// bytes stay as they were and the read fails, so that old bytes never pass for the card's.
LONG readWhole(SCARDHANDLE card, const Frame& frame, std::span<uint8_t> data) {
    if (data.data() == nullptr) {
        return SCARD_E_INVALID_PARAMETER;
    }
    std::array<uint8_t, 4> reply{};
    uint32_t received = 0;
    const LONG rv = sendFrame(card, frame, std::span(reply).first(data.size()), received);
    if (rv != SCARD_S_SUCCESS) {
        return rv;
    }
    if (received < data.size()) {
        return SCARD_F_COMM_ERROR;
    }
    std::copy_n(reply.begin(), data.size(), data.begin());
    return SCARD_S_SUCCESS;
}

LONG updateMainChecked(SCARDHANDLE card, const uint8_t* data, uint32_t address, uint32_t length) {
    if (data == nullptr || !fits(address, length, kMainSize)) {
        return SCARD_E_INVALID_PARAMETER;
    }
    std::array<uint8_t, 4> protection{};
    uint32_t received = 0;
    const LONG rv = sendFrame(card, makeFrame(kReadProtection, 0, 0, 4), protection, received);
    if (rv != SCARD_S_SUCCESS) {
        return rv;
    }
    if (address < kProtectedSize) {
        // Without every protection byte there is no telling what may be written.
        if (received < protection.size()) {
            return SCARD_F_COMM_ERROR;
        }
        std::array<uint8_t, 4> mask{};
        for (uint32_t a = address; a < std::min(address + length, kProtectedSize); ++a) {
            mask[a >> 3] = static_cast<uint8_t>(mask[a >> 3] | (1u << (a & 7)));
        }
        for (std::size_t i = 0; i < mask.size(); ++i) {
            if ((mask[i] & ~protection[i]) != 0) {
                return SCARD_E_INVALID_PARAMETER;
            }
        }
    }
    return writeBytes(card, kUpdateMain, data, address, length, kMainSize);
}

// The new error counter: one set bit of the old one cleared.
uint8_t spendAttempt(uint8_t counter) {
    switch (counter) {
    case 7:
        return 6;
    case 6:
    case 5:
        return 4;
    case 3:
        return 2;
    default:
        return 0;
    }
}

} // namespace

extern "C" {

CORDREL_API LONG SLE4442_Read_Main_Memory(SCARDHANDLE card, uint8_t* data, uint32_t address,
                                          uint32_t* count) {
    if (data == nullptr || count == nullptr) {
        return SCARD_E_INVALID_PARAMETER;
    }
    const uint32_t wanted = *count;
    if (address >= kMainSize || wanted == 0 || wanted > kMainSize - address) {
        return SCARD_E_INVALID_PARAMETER;
    }
    uint32_t received = 0;
    const LONG rv = sendFrame(card, makeFrame(kReadMain, static_cast<uint8_t>(address), 0, wanted),
                              {data, wanted}, received);
    *count = rv == SCARD_S_SUCCESS ? std::min(received, wanted) : 0;
    return rv;
}

CORDREL_API LONG SLE4442_Update_Main_Memory(SCARDHANDLE card, const uint8_t* data, uint32_t address,
                                            uint32_t length) {
    return writeBytes(card, kUpdateMain, data, address, length, kMainSize);
}

CORDREL_API LONG SLE4442_Update_Main_MemoryA(SCARDHANDLE card, const uint8_t* data,
                                             uint32_t address, uint32_t length) {
    return updateMainChecked(card, data, address, length);
}

CORDREL_API LONG SLE4432_Update_Main_MemoryA(SCARDHANDLE card, const uint8_t* data,
                                             uint32_t address, uint32_t length) {
    return updateMainChecked(card, data, address, length);
}

CORDREL_API LONG SLE4442_Read_Protection_Memory(SCARDHANDLE card, uint8_t* data) {
    return readWhole(card, makeFrame(kReadProtection, 0, 0, 4), {data, 4});
}

CORDREL_API LONG SLE4442_Write_Protection_Memory(SCARDHANDLE card, const uint8_t* data,
                                                 uint32_t address, uint32_t length) {
    return writeBytes(card, kWriteProtection, data, address, length, kProtectedSize);
}

CORDREL_API LONG SLE4442_Read_Security_Memory(SCARDHANDLE card, uint8_t* data) {
    return readWhole(card, makeFrame(kReadSecurity, 0, 0, 1), {data, 1});
}

CORDREL_API LONG SLE4442_Update_Security_Memory(SCARDHANDLE card, const uint8_t* data,
                                                uint32_t address, uint32_t length) {
    return writeBytes(card, kUpdateSecurity, data, address, length, kSecuritySize);
}

CORDREL_API LONG SLE4442_Compare_Verification_Data(SCARDHANDLE card, uint32_t psc1, uint32_t psc2,
                                                   uint32_t psc3) {
    std::array<uint8_t, 1> counter{};
    uint32_t received = 0;
    LONG rv = sendFrame(card, makeFrame(kReadSecurity, 0, 0, 1), counter, received);
    if (rv != SCARD_S_SUCCESS) {
        return rv;
    }
    // Without the counter there is no telling which bit to spend: writing a guess could
    // lock the card for good.
    if (received == 0) {
        return SCARD_F_COMM_ERROR;
    }
    const std::array<Frame, 5> sequence{
        makeFrame(kUpdateSecurity, 0, spendAttempt(counter[0])), // the attempt is spent first
        makeFrame(kCompare, 1, static_cast<uint8_t>(psc1)),
        makeFrame(kCompare, 2, static_cast<uint8_t>(psc2)),
        makeFrame(kCompare, 3, static_cast<uint8_t>(psc3)),
        makeFrame(kUpdateSecurity, 0, 0xFF), // restores the counter only on a verified card
    };
    for (const auto& frame : sequence) {
        rv = sendFrame(card, frame);
        if (rv != SCARD_S_SUCCESS) {
            return rv;
        }
    }
    counter[0] = 0;
    rv = sendFrame(card, makeFrame(kReadSecurity, 0, 0, 1), counter, received);
    if (rv != SCARD_S_SUCCESS) {
        return rv;
    }
    return received >= 1 && counter[0] == kCounterFull ? SCARD_S_SUCCESS : SCARD_W_WRONG_CHV;
}

// The SLE4432 operations are the SLE4442 functions under a second name.
CORDREL_API LONG SLE4432_Read_Main_Memory(SCARDHANDLE, uint8_t*, uint32_t, uint32_t*)
    __attribute__((alias("SLE4442_Read_Main_Memory")));
CORDREL_API LONG SLE4432_Update_Main_Memory(SCARDHANDLE, const uint8_t*, uint32_t, uint32_t)
    __attribute__((alias("SLE4442_Update_Main_Memory")));
CORDREL_API LONG SLE4432_Read_Protection_Memory(SCARDHANDLE, uint8_t*)
    __attribute__((alias("SLE4442_Read_Protection_Memory")));
CORDREL_API LONG SLE4432_Write_Protection_Memory(SCARDHANDLE, const uint8_t*, uint32_t, uint32_t)
    __attribute__((alias("SLE4442_Write_Protection_Memory")));

} // extern "C"
