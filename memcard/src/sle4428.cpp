// SPDX-License-Identifier: BSD-3-Clause
// SLE4428 and SLE4418. Every SLE4418 export is the SLE4428 function of the same operation.
#include "frame.h"

#include <algorithm>
#include <array>

using namespace cordrel;

namespace {

constexpr uint8_t kReadData = 0x0E;
constexpr uint8_t kReadWithProtect = 0x0C;
constexpr uint8_t kWriteWithProtect = 0x31;
constexpr uint8_t kWriteData = 0x33;
constexpr uint8_t kWriteProtectBit = 0x30;
constexpr uint8_t kWriteCounter = 0x32;
constexpr uint8_t kComparePsc = 0x0D;

constexpr uint32_t kMemorySize = 1024;
constexpr uint32_t kChunk = 256;
constexpr uint32_t kProtectedChunk = 128; // two reply bytes per data byte
constexpr uint32_t kCounterAddress = 1021;
constexpr uint32_t kPscAddress = 1022;
constexpr uint8_t kCounterFull = 0xFF;

bool validRead(uint32_t address, uint32_t count) {
    return address < kMemorySize && count != 0 && count <= kMemorySize - address;
}

// One frame per byte, the address rising by one; the first failure ends it. A range
// outside the memory, or no data, sends nothing.
LONG writeBytes(SCARDHANDLE card, uint8_t command, const uint8_t* data, uint32_t address,
                uint32_t length) {
    if (data == nullptr || !fits(address, length, kMemorySize)) {
        return SCARD_E_INVALID_PARAMETER;
    }
    for (uint32_t i = 0; i < length; ++i) {
        const uint32_t a = address + i;
        const LONG rv = sendFrame(
            card, makeFrame(withPage(command, a), static_cast<uint8_t>(a & 0xFF), data[i]));
        if (rv != SCARD_S_SUCCESS) {
            return rv;
        }
    }
    return SCARD_S_SUCCESS;
}

// Reads `*count` bytes with their protect bytes in chunks of 128. A chunk answered with
// fewer bytes than asked for ends the read: `*count` tells the complete pairs read.
LONG readWithProtect(SCARDHANDLE card, uint8_t* data, uint8_t* protect, uint32_t address,
                     uint32_t* count) {
    const uint32_t total = *count;
    std::array<uint8_t, 2 * kMemorySize> table;
    uint32_t done = 0;
    while (done < total) {
        const uint32_t chunk = std::min(total - done, kProtectedChunk);
        const uint32_t a = address + done;
        uint32_t received = 0;
        const LONG rv = sendFrame(
            card,
            makeFrame(withPage(kReadWithProtect, a), static_cast<uint8_t>(a & 0xFF), 0, chunk),
            std::span(table).subspan(2 * done, 2 * chunk), received);
        if (rv != SCARD_S_SUCCESS) {
            *count = 0;
            return rv;
        }
        const uint32_t pairs = std::min(received, 2 * chunk) / 2;
        done += pairs;
        if (pairs < chunk) {
            break;
        }
    }
    for (uint32_t i = 0; i < done; ++i) {
        data[i] = table[2 * i];
        protect[i] = table[2 * i + 1];
    }
    *count = done;
    return SCARD_S_SUCCESS;
}

LONG writeChecked(SCARDHANDLE card, uint8_t command, const uint8_t* data, uint32_t address,
                  uint32_t length) {
    if (data == nullptr || !validRead(address, length)) {
        return SCARD_E_INVALID_PARAMETER;
    }
    std::array<uint8_t, kMemorySize> current;
    std::array<uint8_t, kMemorySize> protect;
    uint32_t count = length;
    const LONG rv = readWithProtect(card, current.data(), protect.data(), address, &count);
    if (rv != SCARD_S_SUCCESS) {
        return rv;
    }
    // A byte whose protect bit was not read back cannot be taken for writable.
    if (count < length) {
        return SCARD_F_COMM_ERROR;
    }
    if (std::any_of(protect.begin(), protect.begin() + length, [](uint8_t p) { return p == 0; })) {
        return SCARD_E_INVALID_PARAMETER;
    }
    return writeBytes(card, command, data, address, length);
}

} // namespace

extern "C" {

CORDREL_API LONG SLE4428_Read_Data_Without_Protect_Bit(SCARDHANDLE card, uint8_t* data,
                                                       uint32_t address, uint32_t* count) {
    if (data == nullptr || count == nullptr || !validRead(address, *count)) {
        return SCARD_E_INVALID_PARAMETER;
    }
    const uint32_t total = *count;
    uint32_t done = 0;
    while (done < total) {
        const uint32_t chunk = std::min(total - done, kChunk);
        const uint32_t a = address + done;
        uint32_t received = 0;
        const LONG rv = sendFrame(
            card, makeFrame(withPage(kReadData, a), static_cast<uint8_t>(a & 0xFF), 0, chunk),
            {data + done, chunk}, received);
        if (rv != SCARD_S_SUCCESS) {
            *count = 0;
            return rv;
        }
        // A short chunk ends the read with what came back.
        if (received < chunk) {
            *count = done + received;
            return SCARD_S_SUCCESS;
        }
        done += chunk;
    }
    *count = total;
    return SCARD_S_SUCCESS;
}

CORDREL_API LONG SLE4428_Read_Data_With_Protect_Bit(SCARDHANDLE card, uint8_t* data,
                                                    uint8_t* protect, uint32_t address,
                                                    uint32_t* count) {
    if (data == nullptr || protect == nullptr || count == nullptr || !validRead(address, *count)) {
        return SCARD_E_INVALID_PARAMETER;
    }
    return readWithProtect(card, data, protect, address, count);
}

CORDREL_API LONG SLE4428_Write_Data_With_Protect_Bit(SCARDHANDLE card, const uint8_t* data,
                                                     uint32_t address, uint32_t length) {
    return writeBytes(card, kWriteWithProtect, data, address, length);
}

CORDREL_API LONG SLE4428_Write_Data_With_Protect_BitA(SCARDHANDLE card, const uint8_t* data,
                                                      uint32_t address, uint32_t length) {
    return writeChecked(card, kWriteWithProtect, data, address, length);
}

CORDREL_API LONG SLE4428_Write_Data_Without_Protect_Bit(SCARDHANDLE card, const uint8_t* data,
                                                        uint32_t address, uint32_t length) {
    return writeBytes(card, kWriteData, data, address, length);
}

CORDREL_API LONG SLE4428_Write_Data_Without_Protect_BitA(SCARDHANDLE card, const uint8_t* data,
                                                         uint32_t address, uint32_t length) {
    return writeChecked(card, kWriteData, data, address, length);
}

CORDREL_API LONG SLE4428_Write_Protect_Bit(SCARDHANDLE card, const uint8_t* data, uint32_t address,
                                           uint32_t length) {
    return writeBytes(card, kWriteProtectBit, data, address, length);
}

CORDREL_API LONG SLE4428_PSC_Verification(SCARDHANDLE card, uint32_t psc1, uint32_t psc2) {
    uint8_t counter = 0;
    uint32_t count = 1;
    LONG rv = SLE4428_Read_Data_Without_Protect_Bit(card, &counter, kCounterAddress, &count);
    if (rv != SCARD_S_SUCCESS) {
        return rv;
    }
    // Without the counter there is no telling which bit to spend.
    if (count == 0) {
        return SCARD_F_COMM_ERROR;
    }
    const auto low = static_cast<uint8_t>(kCounterAddress & 0xFF);
    const std::array<Frame, 4> sequence{
        // The attempt is spent first: the lowest set bit cleared.
        makeFrame(withPage(kWriteCounter, kCounterAddress), low,
                  static_cast<uint8_t>(counter & (counter - 1))),
        makeFrame(withPage(kComparePsc, kPscAddress), static_cast<uint8_t>(kPscAddress & 0xFF),
                  static_cast<uint8_t>(psc1)),
        makeFrame(withPage(kComparePsc, kPscAddress + 1),
                  static_cast<uint8_t>((kPscAddress + 1) & 0xFF), static_cast<uint8_t>(psc2)),
        // Restores the counter only on a verified card.
        makeFrame(withPage(kWriteData, kCounterAddress), low, kCounterFull),
    };
    for (const auto& frame : sequence) {
        rv = sendFrame(card, frame);
        if (rv != SCARD_S_SUCCESS) {
            return rv;
        }
    }
    counter = 0;
    count = 1;
    rv = SLE4428_Read_Data_Without_Protect_Bit(card, &counter, kCounterAddress, &count);
    if (rv != SCARD_S_SUCCESS) {
        return rv;
    }
    return count == 1 && counter == kCounterFull ? SCARD_S_SUCCESS : SCARD_W_WRONG_CHV;
}

// The SLE4418 operations are the SLE4428 functions under a second name.
CORDREL_API LONG SLE4418_Read_Data_Without_Protect_Bit(SCARDHANDLE, uint8_t*, uint32_t, uint32_t*)
    __attribute__((alias("SLE4428_Read_Data_Without_Protect_Bit")));
CORDREL_API LONG SLE4418_Read_Data_With_Protect_Bit(SCARDHANDLE, uint8_t*, uint8_t*, uint32_t,
                                                    uint32_t*)
    __attribute__((alias("SLE4428_Read_Data_With_Protect_Bit")));
CORDREL_API LONG SLE4418_Write_Data_With_Protect_Bit(SCARDHANDLE, const uint8_t*, uint32_t,
                                                     uint32_t)
    __attribute__((alias("SLE4428_Write_Data_With_Protect_Bit")));
CORDREL_API LONG SLE4418_Write_Data_With_Protect_BitA(SCARDHANDLE, const uint8_t*, uint32_t,
                                                      uint32_t)
    __attribute__((alias("SLE4428_Write_Data_With_Protect_BitA")));
CORDREL_API LONG SLE4418_Write_Data_Without_Protect_Bit(SCARDHANDLE, const uint8_t*, uint32_t,
                                                        uint32_t)
    __attribute__((alias("SLE4428_Write_Data_Without_Protect_Bit")));
CORDREL_API LONG SLE4418_Write_Data_Without_Protect_BitA(SCARDHANDLE, const uint8_t*, uint32_t,
                                                         uint32_t)
    __attribute__((alias("SLE4428_Write_Data_Without_Protect_BitA")));
CORDREL_API LONG SLE4418_Write_Protect_Bit(SCARDHANDLE, const uint8_t*, uint32_t, uint32_t)
    __attribute__((alias("SLE4428_Write_Protect_Bit")));

} // extern "C"
