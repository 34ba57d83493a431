// SPDX-License-Identifier: BSD-3-Clause
// The memory-card pages' checks, log-text parsing and result lines, on plain values.
#include "memcard_request.h"

#include <gtest/gtest.h>

using namespace tessary;

namespace {

struct Check {
    uint16_t tag;
    const char* address;
    const char* length;
    const char* log;
    const char* status; // "" when the check lets the operation go on
};

std::string checked(uint16_t tag, const MemCardFields& fields, MemCardRequest& request) {
    request.operationName = MemCardOperationName(tag, false, false);
    std::string status;
    const bool proceed = Sle18283242CheckInputEdit(tag, fields, request, status);
    EXPECT_EQ(proceed, status.empty()) << tag << " " << status;
    return status;
}

TEST(MemCardChecks, AddressAndLengthInOrderWithTheTagsBounds) {
    const Check cases[] = {
        {0, "  5", "300", "", "SLE4442_Read_Main_Memory Data Length Invalid"},
        {0, "   ", "  1", "", "SLE4442_Read_Main_Memory Input Satrt Address Please"},
        {0, "256", "   ", "", "SLE4442_Read_Main_Memory Satrt Address Invalid"},
        {0, "255", "   ", "", "SLE4442_Read_Main_Memory Input Data Length Please."},
        {0, "255", "  0", "", "SLE4442_Read_Main_Memory Data Length Invalid"},
        // No check relates the two: the library refuses a range past the end.
        {0, "250", " 10", "", ""},
        {0, " -1", "  1", "", "SLE4442_Read_Main_Memory Satrt Address Invalid"},
        {0, "1 2", "  1", "", "Parameter Invalid !!!"}, // an embedded blank
        {0, "  0", "9999999999", "", "Parameter Invalid !!!"},
        {5, "  0", "  1", "01", "SLE4442_Update_Security_Memory Satrt Address Invalid"},
        {5, "  3", "  4", "01 02 03 04", "SLE4442_Update_Security_Memory Data Length Invalid"},
        {5, "  3", "  3", "01 02 03", ""},
        {3, "  3", "  4", "00 00 00 00", ""},
        {7, "    ", "   1", "", "SLE4428_Read_Data_Without_Protect_Bit Input Satrt Address Please"},
        {9, "1023", "1024", "", ""},
        {9, "1024", "   1", "", "SLE4428_Read_Data_With_Protect_Bit Satrt Address Invalid"},
        {10, "   0", "1025", "", "SLE4428_Write_Protect_Bit Data Length Invalid"},
        // Tags 2 and 4 take nothing from the fields.
        {2, "", "", "", ""},
        {4, "xyz", "", "", ""},
    };
    for (const auto& c : cases) {
        MemCardRequest request;
        EXPECT_EQ(checked(c.tag, {c.address, c.length, {}, c.log}, request), c.status)
            << c.tag << " '" << c.address << "' '" << c.length << "'";
    }
    MemCardRequest request;
    EXPECT_EQ(checked(9, {" 100", " 200", {}, ""}, request), "");
    EXPECT_EQ(request.address, 100);
    EXPECT_EQ(request.count, 200u);
    EXPECT_EQ(request.length, 200u);
    std::string status;
    EXPECT_FALSE(Sle18283242CheckInputEdit(13, {}, request, status)); // no such operation
    EXPECT_EQ(status, "Parameter Invalid !!!");
}

TEST(MemCardChecks, BytesToWriteComeFromTheLogByPosition) {
    struct Case {
        const char* log;
        const char* length;
        std::vector<uint8_t> bytes; // empty: refused
        const char* status;
    };
    const Case cases[] = {
        {"01 05 DE FF", "  4", {0x01, 0x05, 0xDE, 0xFF}, ""},
        {"01-05-de-ff", "  4", {0x01, 0x05, 0xDE, 0xFF}, ""},
        {"01 05\r\nDE FF", "  3", {}, "Parameter Invalid !!!"}, // the break shifts the pairs
        {"0105DEFF", "  3", {0x01, 0x5D, 0xFF}, ""},            // pairs at 0, 3 and 6
        {"01 05 DE FF 77 88", "  2", {0x01, 0x05}, ""},
        {"ZZ 05 DE FF", "  4", {}, "Parameter Invalid !!!"},
        // Fewer bytes than the length asks for: nothing is written.
        {"0105DEFF", "  4", {}, "SLE4442_Update_Main_Memory Data Length Invalid"},
        {"01 05", "  4", {}, "SLE4442_Update_Main_Memory Data Length Invalid"},
        {"", "  1", {}, "SLE4442_Update_Main_Memory Data Length Invalid"},
        {"Response Data:\r\n01 05", "  2", {}, "Parameter Invalid !!!"},
    };
    for (const auto& c : cases) {
        MemCardRequest request;
        const std::string status = checked(1, {"  0", c.length, {}, c.log}, request);
        if (c.bytes.empty() || !std::string(c.status).empty()) {
            EXPECT_EQ(status, c.status) << c.log;
            continue;
        }
        EXPECT_EQ(status, "") << c.log;
        EXPECT_EQ(std::vector<uint8_t>(request.data.begin(), request.data.begin() + c.bytes.size()),
                  c.bytes)
            << c.log;
    }
    // A whole SLE4428 from the log, 1024 pairs.
    std::string log;
    for (int i = 0; i < 1024; ++i) {
        log += "A5 ";
    }
    MemCardRequest request;
    EXPECT_EQ(checked(8, {"   0", "1024", {}, log}, request), "");
    EXPECT_EQ(request.data[1023], 0xA5);
    EXPECT_EQ(request.data[1024], 0x00);
}

TEST(MemCardChecks, KeyFieldsInOrderAndInEitherCase) {
    struct Case {
        uint16_t tag;
        std::array<std::string, 3> keys;
        const char* status;
    };
    const Case cases[] = {
        {6, {"  ", "34", "56"}, "SLE4442_Compare_Verification_Data Input First Key Parameter."},
        {6, {"12", "  ", "56"}, "SLE4442_Compare_Verification_Data Input Second Key Parameter."},
        {6, {"12", "34", ""}, "SLE4442_Compare_Verification_Data Input Third Key Parameter."},
        {6, {"1G", "34", "56"}, "Parameter Invalid !!!"},
        {6, {"1 ", "34", "56"}, "Parameter Invalid !!!"},
        {12, {"ab", "  ", ""}, "SLE4428_PSC_Verification Input Second Key Parameter."},
    };
    for (const auto& c : cases) {
        MemCardRequest request;
        EXPECT_EQ(checked(c.tag, {"", "", c.keys, ""}, request), c.status);
    }
    MemCardRequest request;
    EXPECT_EQ(checked(6, {"", "", {"a2", "C4", "0f"}, ""}, request), "");
    EXPECT_EQ(request.key, (std::array<uint8_t, 3>{0xA2, 0xC4, 0x0F}));
    MemCardRequest psc;
    EXPECT_EQ(checked(12, {"", "", {"fF", "00", "ZZ"}, ""}, psc), ""); // a third is not read
    EXPECT_EQ(psc.key[0], 0xFF);
}

TEST(MemCardResults, DataLinesForReadsAndTheStatusForAll) {
    MemCardRequest read;
    read.operationName = "SLE4442_Read_Main_Memory";
    read.data[0] = 0x0A;
    read.data[1] = 0x1B;
    read.data[2] = 0xFF;
    read.count = 3;
    MemCardResultLog log = Sle18283242CheckReturn(0, read);
    EXPECT_EQ(log.lines, (std::vector<std::string>{"Response Data:", "0A 1B FF "}));
    EXPECT_EQ(log.status, "SLE4442_Read_Main_Memory Success");

    read.count = 0; // the reader returned nothing
    EXPECT_EQ(Sle18283242CheckReturn(0, read).lines,
              (std::vector<std::string>{"Response Data:", ""}));

    MemCardRequest withProtect;
    withProtect.operationName = "SLE4418_Read_Data_With_Protect_Bit";
    withProtect.data.fill(0x5A);
    withProtect.protect[1] = 0x01;
    withProtect.count = 1024;
    log = Sle18283242CheckReturn(9, withProtect);
    ASSERT_EQ(log.lines.size(), 4u);
    EXPECT_EQ(log.lines[1].size(), 3072u);
    EXPECT_EQ(log.lines[2], "Protect Bit:");
    EXPECT_EQ(log.lines[3].substr(0, 9), "00 01 00 ");
    withProtect.count = 5000; // more than the record holds
    EXPECT_EQ(Sle18283242CheckReturn(9, withProtect).lines[1].size(), 3075u);

    MemCardRequest write;
    write.operationName = "SLE4442_Update_Main_Memory";
    write.count = 4;
    log = Sle18283242CheckReturn(1, write);
    EXPECT_TRUE(log.lines.empty());
    EXPECT_EQ(log.status, "SLE4442_Update_Main_Memory Success");

    MemCardRequest failed;
    failed.operationName = "SLE4428_PSC_Verification";
    failed.result = static_cast<int32_t>(0x8010006B);
    log = Sle18283242CheckReturn(12, failed);
    EXPECT_TRUE(log.lines.empty());
    EXPECT_EQ(log.status, "SLE4428_PSC_Verification Failed Return 0x8010006B");
    failed.operationName = "SLE4442_Read_Main_Memory";
    failed.result = 0x16;
    EXPECT_EQ(Sle18283242CheckReturn(0, failed).status,
              "SLE4442_Read_Main_Memory Failed Return 0x16");
    EXPECT_EQ(MemCardStatus(std::string(300, 'N'), " Success").size(), 255u);
    // A driver that takes no frames: the status as ever, and the cure in the page's log.
    failed.result = static_cast<int32_t>(0x8010001F);
    log = Sle18283242CheckReturn(0, failed);
    EXPECT_EQ(log.status, "SLE4442_Read_Main_Memory Failed Return 0x8010001F");
    ASSERT_EQ(log.lines.size(), 1u);
    EXPECT_EQ(log.lines[0].rfind("This reader's driver does not take memory-card frames", 0), 0u);
}

} // namespace
