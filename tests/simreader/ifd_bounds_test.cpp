// SPDX-License-Identifier: BSD-3-Clause
// The driver's entry points as pcscd calls them, at and past every length limit: nothing
// is ever written past the room the daemon offers, and bad input gets an error.
#include "apdu_card.h"
#include "ifd.h"
#include "state_files.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <filesystem>
#include <thread>
#include <unistd.h>

using namespace simreader;
namespace fs = std::filesystem;

namespace {

constexpr DWORD kLun = 3 << 16;
constexpr uint8_t kCanary = 0xCC;
const Bytes kChallenge{0x00, 0x84, 0x00, 0x00, 0x08};
const Bytes kLed{0xFF, 0xE1, 0x02, 0x01, 0x0C, 0xA0, 0xFC, 0x10, 0xA0,
                 0xFD, 0x04, 0xA0, 0xFE, 0x04, 0xA0, 0xFF, 0x04};

class DriverBounds : public ::testing::Test {
protected:
    void SetUp() override {
        m_folder = fs::temp_directory_path() /
                   ("simreader-ifd-" + std::to_string(::getpid()) + "-" +
                    ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(m_folder);
        ASSERT_TRUE(writeFileAtomically(m_folder / kNameFile, "KALDOR TR-100\n"));
        insert("apdu", 1);
        ASSERT_EQ(IFDHCreateChannelByName(kLun, device().data()), IFD_SUCCESS);
    }
    void TearDown() override {
        IFDHCloseChannel(kLun);
        fs::remove_all(m_folder);
    }

    std::string device() const { return "sim:" + m_folder.string(); }
    void insert(const char* type, int id) {
        ASSERT_TRUE(
            writeFileAtomically(m_folder / kCardFile,
                                std::string("type=") + type + "\nid=" + std::to_string(id) + "\n"));
    }
    void pull() { fs::remove(m_folder / kCardFile); }
    KeyValues shown() {
        std::string error;
        return parseKeyValues(readSmallFile(m_folder / kStatusFile).value_or(""), error).value();
    }
    RESPONSECODE powerUp() {
        std::array<uint8_t, MAX_ATR_SIZE> atr{};
        DWORD length = atr.size();
        return IFDHPowerICC(kLun, IFD_POWER_UP, atr.data(), &length);
    }
    RESPONSECODE transmit(const Bytes& command, DWORD room, DWORD& received,
                          std::array<uint8_t, 300>& buffer) {
        buffer.fill(kCanary);
        received = room;
        SCARD_IO_HEADER pci{1, 0};
        return IFDHTransmitToICC(kLun, pci, const_cast<uint8_t*>(command.data()),
                                 static_cast<DWORD>(command.size()), buffer.data(), &received,
                                 nullptr);
    }
    RESPONSECODE control(DWORD code, const Bytes& command, DWORD room, DWORD& returned,
                         std::array<uint8_t, 300>& buffer) {
        buffer.fill(kCanary);
        returned = 99;
        return IFDHControl(kLun, code, const_cast<uint8_t*>(command.data()),
                           static_cast<DWORD>(command.size()), buffer.data(), room, &returned);
    }

    fs::path m_folder;
};

TEST_F(DriverBounds, ChannelsNeedASimDeviceAndAValidLun) {
    std::string missing = "sim:" + (m_folder / "nowhere").string();
    std::string usb = "usb:072f/2200";
    EXPECT_EQ(IFDHCreateChannelByName(4 << 16, missing.data()), IFD_NO_SUCH_DEVICE);
    EXPECT_EQ(IFDHCreateChannelByName(4 << 16, usb.data()), IFD_NO_SUCH_DEVICE);
    EXPECT_EQ(IFDHCreateChannelByName(4 << 16, nullptr), IFD_COMMUNICATION_ERROR);
    std::string good = device();
    EXPECT_EQ(IFDHCreateChannelByName(16 << 16, good.data()), IFD_COMMUNICATION_ERROR);
    EXPECT_EQ(IFDHCreateChannelByName((4 << 16) | 1, good.data()), IFD_COMMUNICATION_ERROR);
    EXPECT_EQ(IFDHCreateChannel(4 << 16, 1), IFD_NO_SUCH_DEVICE);
    // A LUN that was never opened, or is out of range, reaches nothing.
    EXPECT_EQ(IFDHICCPresence(5 << 16), IFD_COMMUNICATION_ERROR);
    EXPECT_EQ(IFDHICCPresence(0xFFFF0000), IFD_COMMUNICATION_ERROR);
    DWORD returned = 0;
    EXPECT_EQ(IFDHControl(5 << 16, SCARD_CTL_CODE(3500), nullptr, 0, nullptr, 0, &returned),
              IFD_COMMUNICATION_ERROR);
}

TEST_F(DriverBounds, PowerUpFitsTheAtrIntoTheRoomGiven) {
    const std::size_t atrSize = ApduCard(false).atr().size();
    std::array<uint8_t, MAX_ATR_SIZE + 4> atr{};
    atr.fill(kCanary);
    DWORD length = static_cast<DWORD>(atrSize - 1);
    EXPECT_EQ(IFDHPowerICC(kLun, IFD_POWER_UP, atr.data(), &length), IFD_ERROR_POWER_ACTION);
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(atr[0], kCanary);

    length = static_cast<DWORD>(atrSize);
    EXPECT_EQ(IFDHPowerICC(kLun, IFD_POWER_UP, atr.data(), &length), IFD_SUCCESS);
    EXPECT_EQ(length, atrSize);
    EXPECT_EQ(atr[atrSize], kCanary);
    EXPECT_EQ(shown().at("powered"), "1");

    EXPECT_EQ(IFDHPowerICC(kLun, IFD_POWER_UP, nullptr, nullptr), IFD_ERROR_POWER_ACTION);
    EXPECT_EQ(IFDHPowerICC(kLun, 999, atr.data(), &length), IFD_NOT_SUPPORTED);
    EXPECT_EQ(IFDHPowerICC(kLun, IFD_POWER_DOWN, atr.data(), &length), IFD_SUCCESS);
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(shown().at("powered"), "0");
}

TEST_F(DriverBounds, TransmitNeverWritesPastTheRoomGiven) {
    ASSERT_EQ(powerUp(), IFD_SUCCESS);
    std::array<uint8_t, 300> buffer{};
    DWORD received = 0;
    EXPECT_EQ(transmit(kChallenge, 10, received, buffer), IFD_SUCCESS); // 8 bytes + 90 00
    EXPECT_EQ(received, 10u);
    EXPECT_EQ(buffer[10], kCanary);

    EXPECT_EQ(transmit(kChallenge, 9, received, buffer), IFD_ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(received, 0u);
    EXPECT_EQ(buffer[0], kCanary);

    EXPECT_EQ(transmit({}, 300, received, buffer), IFD_COMMUNICATION_ERROR);
    Bytes oversized(MAX_BUFFER_SIZE_EXTENDED + 1, 0x00);
    EXPECT_EQ(transmit(oversized, 300, received, buffer), IFD_COMMUNICATION_ERROR);
    EXPECT_EQ(received, 0u);
    // The longest command pcscd forwards is answered: not a short APDU, so wrong length.
    Bytes longest(MAX_BUFFER_SIZE_EXTENDED, 0x00);
    longest[1] = 0x84;
    EXPECT_EQ(transmit(longest, 300, received, buffer), IFD_SUCCESS);
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + received), (Bytes{0x67, 0x00}));

    SCARD_IO_HEADER pci{1, 0};
    EXPECT_EQ(IFDHTransmitToICC(kLun, pci, nullptr, 5, buffer.data(), &received, nullptr),
              IFD_COMMUNICATION_ERROR);
    EXPECT_EQ(IFDHTransmitToICC(kLun, pci, const_cast<uint8_t*>(kChallenge.data()), 5,
                                buffer.data(), nullptr, nullptr),
              IFD_COMMUNICATION_ERROR);
    received = 300;
    EXPECT_EQ(IFDHTransmitToICC(kLun, pci, const_cast<uint8_t*>(kChallenge.data()), 5, nullptr,
                                &received, nullptr),
              IFD_ERROR_INSUFFICIENT_BUFFER);
}

TEST_F(DriverBounds, ReaderCommandsAnswerWithinTheRoomGiven) {
    std::array<uint8_t, 300> buffer{};
    DWORD returned = 0;
    // The reader answers its own commands without a card.
    pull();
    EXPECT_EQ(control(SCARD_CTL_CODE(3500), kLed, 2, returned, buffer), IFD_SUCCESS);
    EXPECT_EQ(returned, 2u);
    EXPECT_EQ(buffer[2], kCanary);
    EXPECT_EQ(shown().at("led1"), "1");

    EXPECT_EQ(control(SCARD_CTL_CODE(3500), kLed, 1, returned, buffer),
              IFD_ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(returned, 0u);
    EXPECT_EQ(buffer[0], kCanary);

    EXPECT_EQ(control(SCARD_CTL_CODE(3500), {}, 2, returned, buffer), IFD_SUCCESS);
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + returned), (Bytes{0x67, 0x00}));
    Bytes oversized(MAX_BUFFER_SIZE_EXTENDED + 1, 0xFF);
    EXPECT_EQ(control(SCARD_CTL_CODE(3500), oversized, 2, returned, buffer),
              IFD_COMMUNICATION_ERROR);
    EXPECT_EQ(control(SCARD_CTL_CODE(3400), kLed, 2, returned, buffer), IFD_ERROR_NOT_SUPPORTED);
    EXPECT_EQ(returned, 0u);
    EXPECT_EQ(control(SCARD_CTL_CODE(2049), kLed, 2, returned, buffer), IFD_ICC_NOT_PRESENT);

    EXPECT_EQ(IFDHControl(kLun, SCARD_CTL_CODE(3500), nullptr, 17, buffer.data(), 2, &returned),
              IFD_COMMUNICATION_ERROR);
    EXPECT_EQ(IFDHControl(kLun, SCARD_CTL_CODE(3500), const_cast<uint8_t*>(kLed.data()), 17,
                          buffer.data(), 2, nullptr),
              IFD_COMMUNICATION_ERROR);
    EXPECT_EQ(shown().at("led1"), "1"); // nothing malformed changed the LEDs
}

TEST_F(DriverBounds, CapabilitiesFitTheRoomGiven) {
    std::array<uint8_t, 64> value{};
    DWORD length = 0;
    EXPECT_EQ(IFDHGetCapabilities(kLun, TAG_IFD_SIMULTANEOUS_ACCESS, &length, value.data()),
              IFD_ERROR_INSUFFICIENT_BUFFER);
    length = 1;
    EXPECT_EQ(IFDHGetCapabilities(kLun, TAG_IFD_SIMULTANEOUS_ACCESS, &length, value.data()),
              IFD_SUCCESS);
    EXPECT_GT(value[0], 1); // several readers share one loaded driver

    length = 7;
    value.fill(kCanary);
    EXPECT_EQ(IFDHGetCapabilities(kLun, SCARD_ATTR_VENDOR_NAME, &length, value.data()),
              IFD_SUCCESS);
    EXPECT_STREQ(reinterpret_cast<char*>(value.data()), "KALDOR");
    length = 6;
    EXPECT_EQ(IFDHGetCapabilities(kLun, SCARD_ATTR_VENDOR_NAME, &length, value.data()),
              IFD_ERROR_INSUFFICIENT_BUFFER);
    length = 64;
    EXPECT_EQ(IFDHGetCapabilities(kLun, SCARD_ATTR_VENDOR_IFD_TYPE, &length, value.data()),
              IFD_SUCCESS);
    EXPECT_STREQ(reinterpret_cast<char*>(value.data()), "TR-100");

    ASSERT_EQ(powerUp(), IFD_SUCCESS);
    length = 4;
    EXPECT_EQ(IFDHGetCapabilities(kLun, TAG_IFD_ATR, &length, value.data()),
              IFD_ERROR_INSUFFICIENT_BUFFER);
    length = MAX_ATR_SIZE;
    EXPECT_EQ(IFDHGetCapabilities(kLun, TAG_IFD_ATR, &length, value.data()), IFD_SUCCESS);
    EXPECT_EQ(length, ApduCard(false).atr().size());
    EXPECT_EQ(IFDHGetCapabilities(kLun, 0x7777, &length, value.data()), IFD_ERROR_TAG);
    EXPECT_EQ(IFDHGetCapabilities(kLun, TAG_IFD_ATR, nullptr, value.data()),
              IFD_COMMUNICATION_ERROR);
}

// Longer than a slot stays empty once its card left.
void awaitOpenSlot() {
    std::this_thread::sleep_for(std::chrono::milliseconds(550));
}

TEST_F(DriverBounds, SlotFollowsTheCardFile) {
    EXPECT_EQ(IFDHICCPresence(kLun), IFD_ICC_PRESENT);
    ASSERT_EQ(powerUp(), IFD_SUCCESS);
    // A different card in its place: the slot is empty for two presence answers and longer
    // than pcscd's poll, whatever asks (pcscd asks before powering a card down too, and
    // counts no removal then), then holds the new card.
    insert("apdu-cl", 2);
    EXPECT_EQ(IFDHICCPresence(kLun), IFD_ICC_NOT_PRESENT);
    EXPECT_EQ(IFDHICCPresence(kLun), IFD_ICC_NOT_PRESENT);
    EXPECT_EQ(powerUp(), IFD_ERROR_POWER_ACTION);
    awaitOpenSlot();
    EXPECT_EQ(IFDHICCPresence(kLun), IFD_ICC_PRESENT);
    EXPECT_EQ(shown().at("card"), "apdu-cl");
    EXPECT_EQ(shown().at("powered"), "0");

    pull();
    std::array<uint8_t, 300> buffer{};
    DWORD received = 0;
    EXPECT_EQ(transmit(kChallenge, 300, received, buffer), IFD_ICC_NOT_PRESENT);
    EXPECT_EQ(IFDHICCPresence(kLun), IFD_ICC_NOT_PRESENT);
    EXPECT_EQ(powerUp(), IFD_ERROR_POWER_ACTION);
    EXPECT_EQ(IFDHSetProtocolParameters(kLun, SCARD_PROTOCOL_T1, 0, 0, 0, 0),
              IFD_COMMUNICATION_ERROR);

    // A card file the driver cannot read leaves the slot empty.
    ASSERT_TRUE(writeFileAtomically(m_folder / kCardFile, "type=floppy\nid=3\n"));
    EXPECT_EQ(IFDHICCPresence(kLun), IFD_ICC_NOT_PRESENT);
    ASSERT_TRUE(writeFileAtomically(m_folder / kCardFile, "garbage\n"));
    EXPECT_EQ(IFDHICCPresence(kLun), IFD_ICC_NOT_PRESENT);

    awaitOpenSlot(); // a card put into a slot empty for a while is there at the next poll
    insert("apdu", 4);
    EXPECT_EQ(IFDHICCPresence(kLun), IFD_ICC_PRESENT);

    // Found gone by an exchange and put back before the next poll: that poll still sees
    // the slot empty once, so that pcscd takes the card for a new one.
    ASSERT_EQ(powerUp(), IFD_SUCCESS);
    pull();
    EXPECT_EQ(transmit(kChallenge, 300, received, buffer), IFD_ICC_NOT_PRESENT);
    insert("apdu", 5);
    EXPECT_EQ(IFDHICCPresence(kLun), IFD_ICC_NOT_PRESENT);
    EXPECT_EQ(IFDHICCPresence(kLun), IFD_ICC_NOT_PRESENT);
    awaitOpenSlot();
    EXPECT_EQ(IFDHICCPresence(kLun), IFD_ICC_PRESENT);
    EXPECT_EQ(transmit(kChallenge, 300, received, buffer), IFD_COMMUNICATION_ERROR); // unpowered
    EXPECT_EQ(IFDHSetProtocolParameters(kLun, SCARD_PROTOCOL_T0, 0, 0, 0, 0), IFD_SUCCESS);
    EXPECT_EQ(IFDHSetProtocolParameters(kLun, SCARD_PROTOCOL_RAW, 0, 0, 0, 0),
              IFD_PROTOCOL_NOT_SUPPORTED);
}

} // namespace
