// SPDX-License-Identifier: BSD-3-Clause
// The trace file byte for byte over whole library cycles, and the stopwatch behind it.
#include "prolvak_fixture.h"

#include <atomic>
#include <dirent.h>
#include <functional>
#include <regex>
#include <sstream>
#include <sys/stat.h>
#include <thread>

namespace {

int openFiles() {
    int count = 0;
    if (DIR* dir = ::opendir("/proc/self/fd")) {
        while (::readdir(dir) != nullptr) {
            ++count;
        }
        ::closedir(dir);
    }
    return count;
}

TEST_F(ProlvakTest, WholeCycleIsTracedByteForByte) {
    auto& s = fakepcsc::script();
    s.readers = {"KALDOR TR-100 00 00", "Generic Reader 02 00"};
    s.eventStates["KALDOR TR-100 00 00"] = 0x10022; // an event count above the state bits
    s.response = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x90, 0x00};
    s.results["SCardGetAttrib"] = SCARD_E_INVALID_PARAMETER;
    enableTrace("an earlier cycle's lines\r\n");

    const SCARDCONTEXT context = init();
    SlotInfo slots[PROLVAK_MAX_READERS] = {};
    SCARD_READERSTATE states[PROLVAK_MAX_READERS] = {};
    uint32_t count = 0;
    ASSERT_EQ(ListReader_WIN(context, slots, states, &count), KTX_SUCCESS);
    SCARDHANDLE card = 0;
    uint32_t protocol = 0, state = 0, atrLength = 33;
    uint8_t atr[33];
    ASSERT_EQ(
        InitReader_WIN(context, slots[0].szReader, 2, &card, &protocol, &state, atr, &atrLength),
        KTX_SUCCESS);
    const uint8_t apdu[] = {0x00, 0x84, 0x00, 0x00, 0x08};
    uint8_t response[330];
    uint32_t responseLength = sizeof response;
    ASSERT_EQ(PcSc_SR_WIN(card, protocol, 5, apdu, 330, &responseLength, response), KTX_SUCCESS);
    uint8_t out[8];
    DWORD returned = 0;
    EXPECT_EQ(SCardControl_WIN(card, 0x42000DAC, apdu, 5, out, sizeof out, &returned), 0);
    DWORD attributeLength = sizeof out;
    EXPECT_EQ(SCardGetAttrib_WIN(card, 0x10100, out, &attributeLength), SCARD_E_INVALID_PARAMETER);
    EXPECT_EQ(CloseReader_WIN(card), KTX_SUCCESS);
    EXPECT_EQ(CloseLibrary_WIN(context), KTX_SUCCESS);

    EXPECT_EQ(traceText(),
              "   0.1250000000 --- LoadLibrary WINSCARD.DLL Success\r\n"
              "   0.2500000000 --- Ktx_SCardEstablishContext Return KTX_SUCCESS\r\n"
              "   0.3750000000 --- ListReader_WIN Enter\r\n"
              "   0.5000000000 --- [0] manufacturerID = KALDOR\r\n"
              "   0.6250000000 --- [0] slotDescription = TR-100 00 \r\n"
              "   0.7500000000 --- [0] szReader = KALDOR TR-100 00 00\r\n"
              "   0.8750000000 --- [1] manufacturerID = Generic\r\n"
              "   1.0000000000 --- [1] slotDescription = Reader 02 \r\n"
              "   1.1250000000 --- [1] szReader = Generic Reader 02 00\r\n"
              "   1.2500000000 --- KALDOR TR-100 00 00 => dwEventState = 10022H, "
              "dwCurrentState = 0H, SlotInfo.flag = Card Insert\r\n"
              "   1.3750000000 --- Generic Reader 02 00 => dwEventState = 12H, "
              "dwCurrentState = 0H, SlotInfo.flag = Card Removed\r\n"
              "   1.5000000000 --- InitReader_WIN Enter, ReaderName = KALDOR TR-100 00 00\r\n"
              "   1.6250000000 --- Call Ktx_SCardConnect, Share or Excusive\r\n"
              "   1.7500000000 --- Active protocol = SCARD_PROTOCOL_T1\r\n"
              "   1.8750000000 --- Ktx_SCardStatus Return KTX_SUCCESS, SCARD_NEGOTIABLE\r\n"
              "   2.0000000000 --- PcSc_SR_WIN Enter, REQReqLength = 5\r\n"
              "00 84 00 00 08 \r\n"
              "   2.1250000000 --- \r\n"
              "   2.2500000000 --- CardType = SCARD_PROTOCOL_T1\r\n"
              "   2.3750000000 --- Ktx_SCardTransmit Return KTX_SUCCESS\r\n"
              "01 02 03 04 05 06 07 08 90 00    2.5000000000 --- \r\n"
              "   2.6250000000 --- Return Ktx_SCardControl lReturn = 0h\r\n"
              "   2.7500000000 --- Return Ktx_SCardGetAttrib lReturn = 80100004h\r\n"
              "   2.8750000000 --- CloseReader_WIN Enter\r\n"
              "   3.0000000000 --- Ktx_SCardDisconnect Return KTX_SUCCESS\r\n"
              "   3.1250000000 --- CloseLibrary_WIN Enter\r\n");
}

TEST_F(ProlvakTest, WithoutTheFileNothingIsWrittenAndTheClockIsNeverRead) {
    fakepcsc::script().readers = {"KALDOR TR-100 00 00"};
    const SCARDCONTEXT context = init();
    SlotInfo slots[PROLVAK_MAX_READERS] = {};
    SCARD_READERSTATE states[PROLVAK_MAX_READERS] = {};
    uint32_t count = 0;
    ListReader_WIN(context, slots, states, &count);
    uint8_t apdu[5] = {}, response[16];
    uint32_t responseLength = sizeof response;
    PcSc_SR_WIN(0xCA7D, 2, 5, apdu, 16, &responseLength, response);
    DWORD returned = 0;
    SCardControl_WIN(0xCA7D, 1, apdu, 5, response, 16, &returned);
    CloseLibrary_WIN(context);
    EXPECT_FALSE(traceExists());
    EXPECT_EQ(reads(), 0);
}

TEST_F(ProlvakTest, EveryInitStartsAnEmptyFileAndANewClock) {
    enableTrace();
    SCARDCONTEXT context = init();
    CloseLibrary_WIN(context);
    // The file is gone, but tracing stays on for the life of the process.
    std::filesystem::remove("PcScLog.txt");
    context = init();
    EXPECT_EQ(CloseLibrary_WIN(context), KTX_SUCCESS);
    const std::string cycle = "   0.1250000000 --- LoadLibrary WINSCARD.DLL Success\r\n"
                              "   0.2500000000 --- Ktx_SCardEstablishContext Return KTX_SUCCESS\r\n"
                              "   0.3750000000 --- CloseLibrary_WIN Enter\r\n";
    EXPECT_EQ(traceText(), cycle);
    // Closed: nothing more is written until the next InitLibrary_WIN.
    CloseReader_WIN(0xCA7D);
    EXPECT_EQ(traceText(), cycle);
}

TEST_F(ProlvakTest, SecondInitWithoutCloseClosesTheEarlierStream) {
    enableTrace();
    init();
    const int open = openFiles();
    init();
    init();
    EXPECT_EQ(openFiles(), open);
    CloseLibrary_WIN(1);
    EXPECT_EQ(traceText(), "   0.1250000000 --- LoadLibrary WINSCARD.DLL Success\r\n"
                           "   0.2500000000 --- Ktx_SCardEstablishContext Return KTX_SUCCESS\r\n"
                           "   0.3750000000 --- CloseLibrary_WIN Enter\r\n");
}

TEST_F(ProlvakTest, ServiceThatCannotBeLoadedWritesOneLineStampedZero) {
    enableTrace();
    prolvak::testing::setServiceLibrary("/nonexistent/libpcsclite.so.1");
    SCARDCONTEXT context = 0;
    EXPECT_EQ(InitLibrary_WIN(&context), KTX_PCSC_GET_WINSCARD_DLL_ERR);
    EXPECT_EQ(context, 0);
    // Nothing is bound: every later call fails on its own, without reaching a service.
    SlotInfo slots[PROLVAK_MAX_READERS];
    SCARD_READERSTATE states[PROLVAK_MAX_READERS];
    uint32_t count = 7;
    EXPECT_EQ(ListReader_WIN(context, slots, states, &count), KTX_PCSC_SCARDLISTREADERS_ERR);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(CloseLibrary_WIN(context), KTX_PCSC_SCARDRELEASECONTEXT_ERR);
    EXPECT_TRUE(fakepcsc::calls().empty());
    EXPECT_EQ(traceText(), "   0.0000000000 --- Return KTX_PCSC_GET_WINSCARD_DLL_ERR\r\n"
                           "   0.1250000000 --- ListReader_WIN Enter\r\n"
                           "   0.2500000000 --- CloseLibrary_WIN Enter\r\n");
}

// Nothing but a regular file of that name switches the trace on or is written: a link is
// not followed (a trace in a shared folder must not empty another file) and a FIFO is not
// waited on.
TEST_F(ProlvakTest, OnlyARegularFileIsTracedNeverALinkOrAFifo) {
    std::ofstream("other.txt") << "keep\n";
    const std::pair<const char*, std::function<void()>> cases[] = {
        {"link to a file", [] { std::filesystem::create_symlink("other.txt", "PcScLog.txt"); }},
        {"link to nothing", [] { std::filesystem::create_symlink("gone.txt", "PcScLog.txt"); }},
        {"FIFO", [] { ASSERT_EQ(::mkfifo("PcScLog.txt", 0600), 0); }},
    };
    // First with the trace off, then on: once on, it stays on for the life of the process.
    for (const bool on : {false, true}) {
        if (on) {
            enableTrace();
            CloseLibrary_WIN(init());
            std::filesystem::remove("PcScLog.txt");
        }
        for (const auto& [what, make] : cases) {
            make();
            EXPECT_EQ(CloseLibrary_WIN(init()), KTX_SUCCESS) << what;
            if (!on) {
                EXPECT_EQ(reads(), 0) << what << ": switched the trace on";
            }
            EXPECT_FALSE(
                std::filesystem::is_regular_file(std::filesystem::symlink_status("PcScLog.txt")))
                << what;
            EXPECT_FALSE(std::filesystem::exists("gone.txt")) << what;
            std::filesystem::remove("PcScLog.txt");
        }
    }
    std::ifstream other("other.txt");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(other), {}), "keep\n");
}

// Two threads exchange, traced, while a third closes and restarts the library: no call
// writes to a stream being closed or replaced, and every line comes out whole.
TEST_F(ProlvakTest, TracingThreadsSurviveRestartsAndWriteWholeLines) {
    enableTrace();
    SCARDCONTEXT context = init();
    std::atomic<bool> stop{false};
    std::atomic<int> exchanges[2] = {0, 0};
    auto exchange = [&](std::atomic<int>& done) {
        const uint8_t apdu[] = {0x00, 0x84, 0x00, 0x00, 0x08};
        uint8_t response[16];
        while (!stop) {
            uint32_t length = sizeof response;
            EXPECT_EQ(PcSc_SR_WIN(0xCA7D, 2, 5, apdu, 16, &length, response), KTX_SUCCESS);
            ++done;
        }
    };
    std::thread first(exchange, std::ref(exchanges[0]));
    std::thread second(exchange, std::ref(exchanges[1]));
    for (int restart = 0; restart < 200; ++restart) {
        CloseLibrary_WIN(context);
        EXPECT_EQ(InitLibrary_WIN(&context), KTX_SUCCESS);
    }
    // Both are still tracing into the last cycle's file.
    const int seen[2] = {exchanges[0], exchanges[1]};
    while (exchanges[0] < seen[0] + 20 || exchanges[1] < seen[1] + 20) {
        std::this_thread::yield();
    }
    stop = true;
    first.join();
    second.join();
    EXPECT_EQ(CloseLibrary_WIN(context), KTX_SUCCESS);

    const std::regex whole("00 84 00 00 08 |90 00  *[0-9]+\\.[0-9]{10} --- "
                           "| *[0-9]+\\.[0-9]{10} --- (|PcSc_SR_WIN Enter, REQReqLength = 5"
                           "|CardType = SCARD_PROTOCOL_T1|Ktx_SCardTransmit Return KTX_SUCCESS"
                           "|LoadLibrary WINSCARD.DLL Success"
                           "|Ktx_SCardEstablishContext Return KTX_SUCCESS|CloseLibrary_WIN Enter)");
    const std::string trace = traceText();
    ASSERT_TRUE(trace.ends_with(" --- CloseLibrary_WIN Enter\r\n"));
    std::size_t lines = 0;
    for (std::size_t at = 0, end; (end = trace.find("\r\n", at)) != std::string::npos;
         at = end + 2, ++lines) {
        const std::string line = trace.substr(at, end - at);
        ASSERT_TRUE(std::regex_match(line, whole)) << "line " << lines << ": " << line;
    }
    EXPECT_GT(lines, 40u);
}

TEST_F(ProlvakTest, TraceFileThatCannotBeCreatedLeavesCallsUnaffected) {
    std::filesystem::create_directory("PcScLog.txt"); // opens for reading, not for writing
    const SCARDCONTEXT context = init();
    EXPECT_EQ(CloseLibrary_WIN(context), KTX_SUCCESS);
    EXPECT_TRUE(std::filesystem::is_directory("PcScLog.txt"));
}

TEST_F(ProlvakTest, StopwatchRestartsWithFlagOneAndMeasuresWithAnyOther) {
    int64_t start = -1, now = -1;
    s_reads = 16;
    EXPECT_EQ(Quorin_Time(&start, &now, 1), 0.0);
    EXPECT_EQ(start, 16);
    EXPECT_EQ(now, -1);
    s_reads = 36;
    EXPECT_EQ(Quorin_Time(&start, &now, 0), 2.5);
    EXPECT_EQ(now, 36);
    EXPECT_EQ(Quorin_Time(&start, &now, 2), 2.625); // flag 2 measures as flag 0 does
    EXPECT_EQ(Quorin_Time(&start, nullptr, 0), 0.0);
    EXPECT_EQ(Quorin_Time(nullptr, &now, 1), 0.0);

    // A counter reading earlier than the start gives negative seconds.
    start = 100;
    s_reads = 92;
    EXPECT_EQ(Quorin_Time(&start, &now, 0), -1.0);
}

TEST_F(ProlvakTest, FrequencyIsAskedForUntilItIsKnown) {
    static int asked = 0;
    asked = 0;
    prolvak::testing::setCounter({[](int64_t* frequency) {
                                      *frequency = 4;
                                      return ++asked >= 2;
                                  },
                                  [] { return int64_t{10}; }});
    int64_t start = 0, now = 0;
    EXPECT_EQ(Quorin_Time(&start, &now, 0), 0.0);
    EXPECT_EQ(now, 0); // the counter is not read while the frequency is unknown
    EXPECT_EQ(Quorin_Time(&start, &now, 0), 2.5);
    EXPECT_EQ(Quorin_Time(&start, &now, 0), 2.5);
    EXPECT_EQ(asked, 2);
}

TEST_F(ProlvakTest, StampWidthIsAMinimumNotACut) {
    enableTrace();
    prolvak::testing::setCounter(
        {[](int64_t* frequency) {
             *frequency = 2;
             return true;
         },
         [] { return s_reads++ == 0 ? int64_t{0} : int64_t{24691}; }}); // 12345.5 s later
    init();
    CloseLibrary_WIN(1);
    EXPECT_EQ(traceText().substr(0, 38), "12345.5000000000 --- LoadLibrary WINSC");
}

} // namespace
