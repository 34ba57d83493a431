// SPDX-License-Identifier: BSD-3-Clause
#include "frame.h"

#include "reader_features.h"

#include <PCSC/reader.h>

#include <algorithm>
#include <mutex>
#include <optional>
#include <utility>

namespace cordrel {
namespace {

// Byte offsets: a PC_to_RDR_XfrBlock header, then the card's three-byte command.
constexpr std::size_t kMessageType = 0; // 6F: PC_to_RDR_XfrBlock
constexpr std::size_t kLength = 1;      // dwLength, little-endian: 3 command bytes follow
constexpr std::size_t kLevel = 8;       // wLevelParameter, little-endian: bytes to return
constexpr std::size_t kCommand = 10;
constexpr std::size_t kAddress = 11;
constexpr std::size_t kData = 12;

constexpr DWORD kFrameCode = pcscfeatures::kMemoryCardFrameCode;

// The escape codes found for card handles whose driver refused ours. Without them a reader
// that needs the fallback pays two more round trips for every frame. There is room for a
// connection to each of the readers pcsc-lite serves, twice over, so that a program that
// serves them all at once never pushes out a code still in use; a code is forgotten on its
// first failure, and an entry that is never used again is pushed out by newer ones.
class FoundCodes {
public:
    std::optional<DWORD> find(SCARDHANDLE card) {
        std::lock_guard lock(m_mutex);
        for (const auto& [handle, code] : m_entries) {
            if (handle == card && card != 0) {
                return code;
            }
        }
        return std::nullopt;
    }
    void remember(SCARDHANDLE card, DWORD code) {
        std::lock_guard lock(m_mutex);
        for (auto& entry : m_entries) {
            if (entry.first == card) {
                entry.second = code;
                return;
            }
        }
        m_entries[m_next] = {card, code};
        m_next = (m_next + 1) % m_entries.size();
    }
    void forget(SCARDHANDLE card) {
        std::lock_guard lock(m_mutex);
        for (auto& entry : m_entries) {
            if (entry.first == card) {
                entry = {};
            }
        }
    }

private:
    std::mutex m_mutex;
    std::array<std::pair<SCARDHANDLE, DWORD>, 2 * PCSCLITE_MAX_READERS_CONTEXTS> m_entries{};
    std::size_t m_next = 0;
};

constinit FoundCodes g_foundCodes;

} // namespace

Frame makeFrame(uint8_t command, uint8_t address, uint8_t data, uint32_t returnCount) {
    Frame frame{}; // bSlot, bSeq and bBWI stay 0
    frame[kMessageType] = 0x6F;
    frame[kLength] = 3;
    frame[kLevel] = static_cast<uint8_t>(returnCount & 0xFF);
    frame[kLevel + 1] = static_cast<uint8_t>((returnCount >> 8) & 0xFF);
    frame[kCommand] = command;
    frame[kAddress] = address;
    frame[kData] = data;
    return frame;
}

LONG sendFrame(SCARDHANDLE card, const Frame& frame, std::span<uint8_t> into, uint32_t& received) {
    // Zeroed for every frame: a reader that reports more bytes than it wrote hands on
    // zeros, never what an earlier frame or call left here.
    std::array<uint8_t, CORDREL_REPLY_CAPACITY> scratch{};
    received = 0;
    const LONG rv = Kal_Mem_Direct_Control(card, scratch.data(), 0, &received, frame.data(),
                                           CORDREL_FRAME_SIZE);
    if (rv == SCARD_S_SUCCESS) {
        std::copy_n(scratch.begin(), std::min<std::size_t>(received, into.size()), into.begin());
    }
    return rv;
}

LONG sendFrame(SCARDHANDLE card, const Frame& frame) {
    uint32_t ignored = 0;
    return sendFrame(card, frame, {}, ignored);
}

} // namespace cordrel

extern "C" CORDREL_API LONG Kal_Mem_Direct_Control(SCARDHANDLE card, uint8_t* reply,
                                                   int32_t reserved, uint32_t* count,
                                                   const uint8_t* frame, uint32_t frameLength) {
    (void)reserved;
    if (reply == nullptr || count == nullptr || frame == nullptr) {
        return SCARD_E_INVALID_PARAMETER;
    }
    DWORD returned = 0;
    LONG rv = SCARD_E_UNSUPPORTED_FEATURE;
    if (const auto found = cordrel::g_foundCodes.find(card)) {
        rv = SCardControl(card, *found, frame, frameLength, reply, CORDREL_REPLY_CAPACITY,
                          &returned);
        if (rv != SCARD_S_SUCCESS) {
            cordrel::g_foundCodes.forget(card);
        }
    }
    // Refused outright, by a remembered code too, nothing reached the reader: our own code
    // goes first again, so a handle that now belongs to another reader finds its way.
    if (rv == SCARD_E_UNSUPPORTED_FEATURE) {
        const auto control = [card](DWORD code, const uint8_t* input, DWORD inputLength,
                                    uint8_t* output, DWORD room, DWORD* got) {
            return SCardControl(card, code, input, inputLength, output, room, got);
        };
        const auto outcome = pcscfeatures::controlWithEscapeFallback(
            control, cordrel::kFrameCode, std::span(frame, frameLength),
            std::span(reply, CORDREL_REPLY_CAPACITY), returned);
        rv = outcome.result;
        if (rv == SCARD_S_SUCCESS && outcome.code != cordrel::kFrameCode) {
            cordrel::g_foundCodes.remember(card, outcome.code);
        }
    }
    *count = rv == SCARD_S_SUCCESS
                 ? static_cast<uint32_t>(std::min<DWORD>(returned, CORDREL_REPLY_CAPACITY))
                 : 0;
    return rv;
}
