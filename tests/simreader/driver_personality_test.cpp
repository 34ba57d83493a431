// SPDX-License-Identifier: BSD-3-Clause
// The driver personalities as an application meets them through SCardControl: which codes
// each serves, what each answers, and where the bytes go, with the personality changed
// while the reader runs.
#include "ifd.h"
#include "reader.h"
#include "state_files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

using namespace simreader;
namespace fs = std::filesystem;

namespace {

constexpr DWORD kFeatures = SCARD_CTL_CODE(3400);
constexpr DWORD kCcidEscape = SCARD_CTL_CODE(1);
constexpr DWORD kReaderCode = SCARD_CTL_CODE(3500);
constexpr DWORD kEscape = SCARD_CTL_CODE(2049);

const Bytes kLed{0xFF, 0xE1, 0x02, 0x01, 0x0C, 0xA0, 0xFC, 0x10, 0xA0,
                 0xFD, 0x04, 0xA0, 0xFE, 0x04, 0xA0, 0xFF, 0x04};
// Reads four bytes of main memory from address 0.
const Bytes kRead{0x6F, 0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x04, 0x00, 0x30, 0x00, 0x00};
const Bytes kShortFrame(kRead.begin(), kRead.end() - 1);
const Bytes kChallenge{0x00, 0x84, 0x00, 0x00, 0x08};
const Bytes kOk{0x90, 0x00};
const Bytes kMemory{0xA2, 0x13, 0x10, 0x91};

class Personalities : public ::testing::Test {
protected:
    void SetUp() override {
        m_folder = fs::temp_directory_path() /
                   ("simreader-personality-" + std::to_string(::getpid()) + "-" +
                    ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(m_folder);
        ASSERT_TRUE(writeFileAtomically(m_folder / kNameFile, "KALDOR TR-100\n"));
        ASSERT_TRUE(
            writeFileAtomically(m_folder / kCardFile, "type=sle4442\nid=1\nmemory=A2131091\n"));
        m_reader = std::make_unique<Reader>(m_folder);
        std::array<uint8_t, MAX_ATR_SIZE> atr{};
        DWORD length = atr.size();
        ASSERT_EQ(m_reader->power(IFD_POWER_UP, atr, length), IFD_SUCCESS);
    }
    void TearDown() override {
        m_reader.reset();
        fs::remove_all(m_folder);
    }

    void setDriver(const std::string& content) {
        ASSERT_TRUE(writeFileAtomically(m_folder / kDriverFile, content));
    }
    KeyValues shown() {
        std::string error;
        return parseKeyValues(readSmallFile(m_folder / kStatusFile).value_or(""), error).value();
    }

    fs::path m_folder;
    std::unique_ptr<Reader> m_reader;
};

TEST_F(Personalities, EachServesItsOwnCodesInTheRoomGiven) {
    struct Case {
        const char* personality;
        DWORD code;
        Bytes command;
        RESPONSECODE rc;
        Bytes reply = {};
        std::size_t room = 64;
    };
    const Case cases[] = {
        {"native", kReaderCode, kLed, IFD_SUCCESS, kOk},
        {"native", kEscape, kRead, IFD_SUCCESS, kMemory},
        {"native", kReaderCode, kChallenge, IFD_SUCCESS, {0x6E, 0x00}}, // the firmware's answer
        {"native", kFeatures, {}, IFD_ERROR_NOT_SUPPORTED},
        {"native", kCcidEscape, kLed, IFD_ERROR_NOT_SUPPORTED},

        {"ccid", kFeatures, {}, IFD_SUCCESS, {0x12, 0x04, 0x42, 0x33, 0x00, 0x12}},
        {"ccid", kCcidEscape, kLed, IFD_COMMUNICATION_ERROR},
        {"ccid", kCcidEscape, kRead, IFD_COMMUNICATION_ERROR},
        {"ccid", kReaderCode, kLed, IFD_ERROR_NOT_SUPPORTED},
        {"ccid", kEscape, kRead, IFD_ERROR_NOT_SUPPORTED},
        {"ccid", kFeatures, {}, IFD_ERROR_INSUFFICIENT_BUFFER, {}, 5},

        {"ccid-escape",
         kFeatures,
         {},
         IFD_SUCCESS,
         {0x12, 0x04, 0x42, 0x33, 0x00, 0x12, 0x13, 0x04, 0x42, 0x00, 0x00, 0x01}},
        {"ccid-escape", kFeatures, {}, IFD_ERROR_INSUFFICIENT_BUFFER, {}, 11},
        {"ccid-escape", kCcidEscape, kLed, IFD_SUCCESS, kOk},
        {"ccid-escape", kCcidEscape, kLed, IFD_ERROR_INSUFFICIENT_BUFFER, {}, 1},
        {"ccid-escape", kCcidEscape, kRead, IFD_SUCCESS, kMemory},
        {"ccid-escape", kCcidEscape, kChallenge, IFD_COMMUNICATION_ERROR},
        {"ccid-escape", kCcidEscape, kShortFrame, IFD_COMMUNICATION_ERROR},
        {"ccid-escape", kCcidEscape, {}, IFD_COMMUNICATION_ERROR},
        {"ccid-escape", kReaderCode, kLed, IFD_ERROR_NOT_SUPPORTED},
        {"ccid-escape", kEscape, kRead, IFD_ERROR_NOT_SUPPORTED},

        {"vendor", kFeatures, {}, IFD_SUCCESS, {0x13, 0x04, 0x42, 0x00, 0x0D, 0xAC}},
        {"vendor", kFeatures, {}, IFD_ERROR_INSUFFICIENT_BUFFER, {}, 5},
        {"vendor", kReaderCode, kLed, IFD_SUCCESS, kOk},
        {"vendor", kReaderCode, kRead, IFD_SUCCESS, kMemory},
        {"vendor", kReaderCode, kRead, IFD_ERROR_INSUFFICIENT_BUFFER, {}, 3},
        {"vendor", kReaderCode, kChallenge, IFD_COMMUNICATION_ERROR},
        {"vendor", kEscape, kRead, IFD_ERROR_NOT_SUPPORTED},
        {"vendor", kCcidEscape, kRead, IFD_ERROR_NOT_SUPPORTED},
    };
    for (const Case& c : cases) {
        // Changed under the running reader, as `simreader-ctl driver` does.
        setDriver(std::string(c.personality) + "\n");
        std::vector<uint8_t> answer(c.room); // exactly the room: a write past it is caught
        DWORD received = 99;
        const RESPONSECODE rc = m_reader->control(c.code, c.command, answer, received);
        const std::string what =
            std::string(c.personality) + " " + std::to_string(c.code & 0xFFFF) + " " +
            std::to_string(c.command.size()) + " bytes, room " + std::to_string(c.room);
        EXPECT_EQ(rc, c.rc) << what;
        ASSERT_LE(received, answer.size()) << what;
        EXPECT_EQ(Bytes(answer.begin(), answer.begin() + received), c.reply) << what;
        EXPECT_EQ(shown().at("driver"), c.personality) << what;
    }
}

TEST_F(Personalities, DriverFileIsFollowedAndTheLastCodeShown) {
    EXPECT_EQ(shown().at("driver"), "native");
    EXPECT_EQ(shown().at("last-control"), "none");
    std::array<uint8_t, 16> answer{};
    DWORD received = 0;
    m_reader->control(SCARD_CTL_CODE(3), {}, answer, received); // refused, yet counted
    EXPECT_EQ(shown().at("last-control"), "0x42000003");

    // A poll picks a change up too, so that the status shows it before any control call.
    setDriver("vendor\r\n");
    m_reader->presence();
    EXPECT_EQ(shown().at("driver"), "vendor");
    EXPECT_EQ(m_reader->control(kReaderCode, kRead, answer, received), IFD_SUCCESS);
    EXPECT_EQ(shown().at("last-control"), "0x42000DAC");

    // Whatever a person leaves in the file, the reader falls back to native and says why
    // on one status line.
    for (const std::string& bad :
         std::vector<std::string>{"pcsc\n", "ccid\nvendor\n", std::string("\x01\x02", 2), "",
                                  std::string(kMaxStateFileSize + 1, 'x')}) {
        setDriver(bad);
        EXPECT_EQ(m_reader->control(kEscape, kRead, answer, received), IFD_SUCCESS) << bad;
        const KeyValues status = shown(); // still parses: no line feed got into a value
        EXPECT_EQ(status.at("driver"), "native") << bad;
        ASSERT_TRUE(status.contains("driver-refused")) << bad;
        EXPECT_EQ(status.at("driver-refused").find('\x01'), std::string::npos);
    }
    EXPECT_NE(shown().at("driver-refused").find("cannot be read"), std::string::npos);
    fs::remove(m_folder / kDriverFile);
    m_reader->presence();
    EXPECT_EQ(shown().at("driver"), "native");
    EXPECT_FALSE(shown().contains("driver-refused"));
}

} // namespace
