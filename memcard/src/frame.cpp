#include "frame.h"

#include <PCSC/reader.h>

#include <algorithm>

namespace cordrel {
namespace {

// Byte offsets: a PC_to_RDR_XfrBlock header, then the card's three-byte command.
constexpr std::size_t kMessageType = 0; // 6F: PC_to_RDR_XfrBlock
constexpr std::size_t kLength = 1;      // dwLength, little-endian: 3 command bytes follow
constexpr std::size_t kLevel = 8;       // wLevelParameter, little-endian: bytes to return
constexpr std::size_t kCommand = 10;
constexpr std::size_t kAddress = 11;
constexpr std::size_t kData = 12;

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
    const LONG rv = SCardControl(card, SCARD_CTL_CODE(2049), frame, frameLength, reply,
                                 CORDREL_REPLY_CAPACITY, &returned);
    *count = rv == SCARD_S_SUCCESS
                 ? static_cast<uint32_t>(std::min<DWORD>(returned, CORDREL_REPLY_CAPACITY))
                 : 0;
    return rv;
}
