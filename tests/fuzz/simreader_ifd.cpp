// SPDX-License-Identifier: BSD-3-Clause
// The driver's entry points as pcscd calls them, over any card file and any series of
// calls: power, APDUs, control codes with any frame under any driver personality,
// capabilities, presence, protocols, cards swapped and pulled, personalities changed or
// garbled, logical unit numbers that name no reader. The driver runs inside pcscd, so
// nothing here may crash it or write past a buffer it was given.
#include "fuzz_input.h"
#include "ifd.h"
#include "reader.h"
#include "state_files.h"

#include <filesystem>
#include <vector>

using namespace simreader;
namespace fs = std::filesystem;

namespace {

constexpr DWORD kLun = 0;
constexpr const char* kCardTypes[] = {"apdu",    "apdu-cl", "sle4442",
                                      "sle4432", "sle4428", "sle4418"};
constexpr DWORD kTags[] = {TAG_IFD_ATR,
                           SCARD_ATTR_ATR_STRING,
                           TAG_IFD_SIMULTANEOUS_ACCESS,
                           TAG_IFD_THREAD_SAFE,
                           TAG_IFD_SLOTS_NUMBER,
                           TAG_IFD_SLOT_THREAD_SAFE,
                           SCARD_ATTR_VENDOR_NAME,
                           SCARD_ATTR_VENDOR_IFD_TYPE};

const fs::path& folder() {
    return fuzz::scratchFolder();
}

// A card file as the tool writes it, with settings of any text, or any text at all.
std::string cardFile(fuzz::Input& input) {
    const uint8_t how = input.byte();
    if (how < 32) {
        return std::string(input.longPiece());
    }
    std::string text = std::string("type=") + kCardTypes[how % std::size(kCardTypes)] +
                       "\nid=" + std::to_string(input.byte()) + "\n";
    text += input.longPiece();
    return text;
}

// The driver file as the tool writes it, or any text at all.
void putDriver(fuzz::Input& input) {
    constexpr const char* kPersonalities[] = {"native", "ccid", "ccid-escape", "vendor"};
    const uint8_t how = input.byte();
    if (how < 16) {
        std::error_code ec;
        fs::remove(folder() / kDriverFile, ec);
        return;
    }
    const std::string text =
        how < 48 ? std::string(input.piece()) : std::string(kPersonalities[how % 4]) + "\n";
    FUZZ_CHECK(writeFileAtomically(folder() / kDriverFile, text));
}

void putCard(fuzz::Input& input) {
    if (input.byte() < 24) {
        std::error_code ec;
        fs::remove(folder() / kCardFile, ec);
        return;
    }
    const std::string text = cardFile(input);
    // A card with a latency answers the same, only later: it would slow the run down to
    // a minute a call and find nothing more, so the slot keeps the card it holds.
    std::string error;
    if (const auto values = parseKeyValues(text, error); values && values->contains("latency")) {
        return;
    }
    FUZZ_CHECK(writeFileAtomically(folder() / kCardFile, text));
}

DWORD lun(fuzz::Input& input) {
    return input.byte() < 248 ? kLun : input.u32();
}

// A buffer of exactly the room offered, so that a write past it is caught.
std::vector<uint8_t> room(fuzz::Input& input, std::size_t most) {
    return std::vector<uint8_t>(input.u16() % (most + 1));
}

Bytes escapeFrame(fuzz::Input& input) {
    if (input.byte() < 16) {
        const auto raw = input.bytes(input.byte() % 20);
        return {raw.begin(), raw.end()};
    }
    Bytes frame{0x6F, 0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
    for (int i = 0; i < 5; ++i) {
        frame.push_back(input.byte());
    }
    return frame;
}

void call(fuzz::Input& input) {
    switch (input.byte() % 10) {
    case 0: {
        const uint8_t how = input.byte();
        const DWORD action = how < 250 ? IFD_POWER_UP + how % 3 : input.u32();
        std::vector<uint8_t> atr = room(input, MAX_ATR_SIZE + 4);
        DWORD length = static_cast<DWORD>(atr.size());
        IFDHPowerICC(lun(input), action, atr.empty() ? nullptr : atr.data(), &length);
        FUZZ_CHECK(length <= atr.size());
        break;
    }
    case 1: {
        const auto command = input.bytes(input.u16() % 300);
        std::vector<uint8_t> answer = room(input, 300);
        DWORD received = static_cast<DWORD>(answer.size());
        SCARD_IO_HEADER pci{SCARD_PROTOCOL_T1, 0};
        IFDHTransmitToICC(lun(input), pci, const_cast<uint8_t*>(command.data()),
                          static_cast<DWORD>(command.size()),
                          answer.empty() ? nullptr : answer.data(), &received, nullptr);
        FUZZ_CHECK(received <= answer.size());
        break;
    }
    case 2:
    case 3: {
        const uint8_t how = input.byte();
        const DWORD code = how < 120   ? kEscapeControlCode
                           : how < 224 ? kReaderControlCode
                           : how < 232 ? kCcidEscapeCode
                           : how < 240 ? kFeatureRequestCode
                                       : input.u32();
        // The codes that take memory-card frames under some personality get well-formed ones.
        const bool frames = code == kEscapeControlCode || code == kCcidEscapeCode ||
                            (code == kReaderControlCode && how >= 216);
        const Bytes command = frames ? escapeFrame(input) : [&] {
            const auto raw = input.bytes(input.byte() % 32);
            return Bytes(raw.begin(), raw.end());
        }();
        std::vector<uint8_t> answer = room(input, 300);
        DWORD returned = 0;
        IFDHControl(lun(input), code, const_cast<uint8_t*>(command.data()),
                    static_cast<DWORD>(command.size()), answer.empty() ? nullptr : answer.data(),
                    static_cast<DWORD>(answer.size()), &returned);
        FUZZ_CHECK(returned <= answer.size());
        break;
    }
    case 4: {
        const uint8_t how = input.byte();
        const DWORD tag = how < 240 ? kTags[how % std::size(kTags)] : input.u32();
        std::vector<uint8_t> value = room(input, 64);
        DWORD length = static_cast<DWORD>(value.size());
        IFDHGetCapabilities(lun(input), tag, &length, value.empty() ? nullptr : value.data());
        FUZZ_CHECK(length <= value.size());
        break;
    }
    case 5:
        IFDHICCPresence(lun(input));
        break;
    case 6: {
        const DWORD protocol = input.byte() < 240 ? 1u + input.byte() % 2 : input.u32();
        IFDHSetProtocolParameters(lun(input), protocol, 0, 0, 0, 0);
        break;
    }
    case 7:
        putCard(input);
        break;
    case 9:
        putDriver(input);
        break;
    default: {
        const DWORD tag = input.u32();
        IFDHSetCapabilities(lun(input), tag, 0, nullptr);
        break;
    }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    fuzz::Input input(data, size);
    static const bool named = writeFileAtomically(folder() / kNameFile, "KALDOR TR-100\n");
    FUZZ_CHECK(named);
    std::error_code ec;
    fs::remove(folder() / kDriverFile, ec); // every input starts native, as it replays
    putCard(input);
    std::string device = "sim:" + folder().string();
    FUZZ_CHECK(IFDHCreateChannelByName(kLun, device.data()) == IFD_SUCCESS);
    for (int calls = 0; calls < 48 && !input.empty(); ++calls) {
        call(input);
    }
    IFDHCloseChannel(kLun);
    return 0;
}
