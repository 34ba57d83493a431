// SPDX-License-Identifier: BSD-3-Clause
// The access library over a service that answers anything: any reader list (names of any
// bytes and length, lists cut short, lengths that lie), any card state, ATR, response and
// control answer, and any failure at any step, with the trace on or off. Nothing the
// service says may take the library past a buffer its caller gave, and every text it
// hands back ends within its field.
#include "console.h"
#include "fake_pcsc.h"
#include "fuzz_input.h"
#include "prolvak.h"
#include "testing.h"

#include <array>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

constexpr LONG kFailures[] = {
    SCARD_E_NO_SERVICE,          SCARD_E_NO_READERS_AVAILABLE, SCARD_W_REMOVED_CARD,
    SCARD_E_INSUFFICIENT_BUFFER, SCARD_E_INVALID_PARAMETER,    SCARD_E_TIMEOUT,
    SCARD_E_NO_SMARTCARD,        SCARD_E_PROTO_MISMATCH,       SCARD_E_NOT_TRANSACTED,
    SCARD_F_INTERNAL_ERROR,      SCARD_E_READER_UNAVAILABLE,   SCARD_W_UNPOWERED_CARD,
};
constexpr const char* kFunctions[] = {
    "SCardEstablishContext", "SCardListReaders", "SCardGetStatusChange", "SCardFreeMemory",
    "SCardConnect",          "SCardStatus",      "SCardTransmit",        "SCardControl",
    "SCardGetAttrib",        "SCardDisconnect",  "SCardReleaseContext",
};

// A service result: mostly success, else one of the failures the platform gives, now and
// then a value no service should give.
LONG resultOf(fuzz::Input& input) {
    const uint8_t b = input.byte();
    if (b < 160) {
        return SCARD_S_SUCCESS;
    }
    if (b == 0xFF) {
        return static_cast<LONG>(static_cast<int32_t>(input.u32()));
    }
    return kFailures[b % std::size(kFailures)];
}

// A length the service reports instead of the true one, now and then.
std::optional<DWORD> lie(fuzz::Input& input, std::optional<DWORD> limit = std::nullopt) {
    if (!input.flag()) {
        return std::nullopt;
    }
    const DWORD value = input.u32();
    return limit ? value % (*limit + 1) : value;
}

fakepcsc::Bytes bytesOf(std::string_view text) {
    return {text.begin(), text.end()};
}

// The trace lives in the current folder: while an input runs, one of our own, with
// PcScLog.txt present or not. The fuzzer reads its files from the folder it started in.
class TraceFolder {
public:
    explicit TraceFolder(bool on) : m_previous(std::filesystem::current_path()) {
        std::filesystem::current_path(fuzz::scratchFolder());
        setTrace(on);
    }
    ~TraceFolder() { std::filesystem::current_path(m_previous); }
    TraceFolder(const TraceFolder&) = delete;
    TraceFolder& operator=(const TraceFolder&) = delete;

private:
    static void setTrace(bool on);
    std::filesystem::path m_previous;
};

void TraceFolder::setTrace(bool on) {
    static bool traced = false;
    if (on != traced) {
        if (on) {
            std::ofstream("PcScLog.txt", std::ios::binary);
        } else {
            std::filesystem::remove("PcScLog.txt");
        }
        traced = on;
    }
}

bool endsWithin(const char* text, std::size_t room) {
    return std::memchr(text, '\0', room) != nullptr;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    fuzz::Input input(data, size);
    fakepcsc::reset();
    prolvak::testing::reset();
    const TraceFolder folder(input.flag());

    auto& s = fakepcsc::script();
    for (const char* function : kFunctions) {
        s.results[function] = resultOf(input);
    }
    const std::size_t readers = input.byte() % 20;
    std::size_t listSize = 1;
    for (std::size_t i = 0; i < readers; ++i) {
        s.readers.emplace_back(i % 2 == 0 ? input.longPiece() : input.piece());
        listSize += s.readers.back().size() + 1;
        s.eventStates[s.readers.back()] = input.u32();
    }
    s.unterminatedList = readers > 0 && input.flag();
    if (s.unterminatedList) {
        listSize -= 2;
    }
    // The list the service hands out is all the memory there is: a length may lie short of
    // it, never past it.
    s.reportedListLength = lie(input, static_cast<DWORD>(listSize));
    s.activeProtocol = input.flag() ? input.u32() : (input.byte() & 3);
    s.directProtocol = input.flag() ? input.u32() : 0;
    s.writeOnFailure = input.flag();
    s.statusReaderName = input.piece();
    s.cardState = input.u32();
    s.atr = bytesOf(input.piece());
    s.reportedAtrLength = lie(input);
    s.response = bytesOf(input.longPiece());
    s.reportedResponseLength = lie(input);
    s.controlResponse = bytesOf(input.longPiece());
    s.reportedControlLength = lie(input);
    s.attribute = bytesOf(input.piece());

    SCARDCONTEXT context = 0;
    InitLibrary_WIN(&context);

    std::array<SlotInfo, PROLVAK_MAX_READERS> slots{};
    std::array<SCARD_READERSTATE, PROLVAK_MAX_READERS> states{};
    uint32_t count = 0;
    const int32_t listed = ListReader_WIN(context, slots.data(), states.data(), &count);
    FUZZ_CHECK(count <= PROLVAK_MAX_READERS);
    for (uint32_t i = 0; i < count; ++i) {
        FUZZ_CHECK(endsWithin(slots[i].szReader, sizeof slots[i].szReader));
        FUZZ_CHECK(endsWithin(slots[i].manufacturerID, sizeof slots[i].manufacturerID));
        FUZZ_CHECK(endsWithin(slots[i].slotDescription, sizeof slots[i].slotDescription));
        FUZZ_CHECK(listed != KTX_SUCCESS || slots[i].flag == 0 || slots[i].flag == 1);
    }
    // Every list the service handed out went back to it, whatever the listing's outcome.
    FUZZ_CHECK(fakepcsc::outstandingLists() == 0);

    // Connect in the mode the fuzzer picks, to a listed reader or a name of its own.
    const std::string reader =
        count > 0 && input.flag() ? std::string(slots[0].szReader) : std::string(input.piece());
    const uint32_t share = 1 + input.byte() % 3;
    SCARDHANDLE card = 0;
    uint32_t protocol = 0;
    uint32_t state = 0;
    std::array<uint8_t, 33> atr{};
    const auto atrRoom = static_cast<uint32_t>(input.byte() % (atr.size() + 1));
    uint32_t atrLength = atrRoom;
    InitReader_WIN(context, reader.c_str(), share, &card, &protocol, &state, atr.data(),
                   &atrLength);
    FUZZ_CHECK(atrLength <= atrRoom || atrLength == s.atr.size());

    std::array<char, 200> names{};
    const auto namesRoom = static_cast<uint32_t>(input.byte() % (names.size() + 1));
    uint32_t namesLength = namesRoom;
    atrLength = atrRoom;
    if (GetCardStatus_WIN(card, names.data(), &namesLength, &protocol, &state, atr.data(),
                          &atrLength) == KTX_SUCCESS &&
        s.results["SCardStatus"] == SCARD_S_SUCCESS) {
        FUZZ_CHECK(namesLength <= namesRoom && atrLength <= atrRoom);
    }

    // The console's exchange on both paths, and the pass-throughs.
    const std::string_view request = input.longPiece();
    const tessary::Exchange exchange = tessary::TransmitWithLog(
        card, protocol, share, tessary::Bytes(request.begin(), request.end()));
    FUZZ_CHECK(exchange.receiveLine.size() <= 14 + 3 * tessary::kMaxDataLength + 330 / 16);
    std::array<uint8_t, tessary::kMaxDataLength> response{};
    const auto responseRoom = static_cast<uint32_t>(input.u16() % (response.size() + 1));
    uint32_t responseLength = responseRoom;
    PcSc_SR_WIN(card, protocol, static_cast<uint32_t>(request.size()),
                reinterpret_cast<const uint8_t*>(request.data()), responseRoom, &responseLength,
                response.data());
    FUZZ_CHECK(responseLength <= responseRoom);
    std::array<uint8_t, 64> attribute{};
    DWORD attributeLength = input.byte() % (attribute.size() + 1);
    SCardGetAttrib_WIN(card, input.u32(), attribute.data(), &attributeLength);

    CloseReader_WIN(card);
    CloseLibrary_WIN(context);
    return 0;
}
