// SPDX-License-Identifier: BSD-3-Clause
// Reader commands and memory cards through the real pcscd, with the simulated reader
// imitating each kind of driver: our own codes taken (native), the generic CCID driver
// with its escape command off (ccid) and on (ccid-escape), and a vendor driver that takes
// the reader-command code for everything (vendor).
#include "console.h"
#include "cordrel.h"
#include "prolvak.h"
#include "sim_pcscd.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

using namespace simtest;
namespace fs = std::filesystem;

namespace {

const std::string kReader = "Driver Reader";
// LED 1 on (bits 7..4 are LEDs 4..1), no buzzer, 4 x 20 ms on and off, once.
const tessary::Bytes kLedOn{0xFF, 0xE1, 0x02, 0x01, 0x0C, 0xA0, 0xFC, 0x10, 0xA0,
                            0xFD, 0x04, 0xA0, 0xFE, 0x04, 0xA0, 0xFF, 0x01};
const tessary::Bytes kLedOff{0xFF, 0xE1, 0x02, 0x01, 0x0C, 0xA0, 0xFC, 0x00, 0xA0,
                             0xFD, 0x04, 0xA0, 0xFE, 0x04, 0xA0, 0xFF, 0x01};
constexpr const char* kHint = "This reader's driver does not take";

std::string slurp(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

class ReaderDrivers : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(InitLibrary_WIN(&m_context), KTX_SUCCESS);
        ASSERT_EQ(m_pcsc.result(), SCARD_S_SUCCESS);
        m_name = pcscName(m_pcsc.get(), kReader);
        m_dir = fs::path(::testing::TempDir()) / ("reader-drivers-" + std::to_string(::getpid()));
        fs::create_directories(m_dir);
    }
    void TearDown() override {
        disconnect();
        CloseLibrary_WIN(m_context);
        simCtl({"driver", kReader, "native"});
        fs::remove_all(m_dir);
    }

    void useDriver(const std::string& personality) {
        ASSERT_EQ(simCtl({"driver", kReader, personality}), 0);
    }
    void insert(const std::vector<std::string>& card) {
        disconnect();
        if (readerStatus(kReader)["card"] != "none") {
            ASSERT_EQ(simCtl({"remove", kReader}), 0);
            ASSERT_TRUE(waitForCard(m_pcsc.get(), m_name, false));
        }
        std::vector<std::string> args{"insert", kReader};
        args.insert(args.end(), card.begin(), card.end());
        ASSERT_EQ(simCtl(args), 0);
        ASSERT_TRUE(waitForCard(m_pcsc.get(), m_name, true));
    }
    void connect(uint32_t shareMode) {
        disconnect();
        uint32_t state = 0;
        std::array<uint8_t, 33> atr{};
        uint32_t atrLength = atr.size();
        ASSERT_EQ(InitReader_WIN(m_context, m_name.c_str(), shareMode, &m_card, &m_protocol, &state,
                                 atr.data(), &atrLength),
                  KTX_SUCCESS);
    }
    void disconnect() {
        if (m_card != 0) {
            CloseReader_WIN(m_card);
            m_card = 0;
        }
    }
    std::string lastControl() { return readerStatus(kReader)["last-control"]; }
    int counter() { return std::atoi(readerStatus(kReader)["counter"].c_str()); }

    struct Outcome {
        int status = -1;
        std::string out;
        std::string err;
    };
    Outcome memcard(const std::vector<std::string>& args) { return tool(TESSARY_MEMCARD, args); }
    Outcome tool(const std::string& program, const std::vector<std::string>& args) {
        const fs::path err = m_dir / "stderr";
        std::string command = "'" + program + "'";
        for (const auto& arg : args) {
            command += " '" + arg + "'";
        }
        command += " >'" + (m_dir / "stdout").string() + "' 2>'" + err.string() + "'";
        const int status = std::system(command.c_str());
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, slurp(m_dir / "stdout"), slurp(err)};
    }

    Context m_pcsc;
    SCARDCONTEXT m_context = 0;
    SCARDHANDLE m_card = 0;
    uint32_t m_protocol = 0;
    std::string m_name;
    fs::path m_dir;
};

TEST_F(ReaderDrivers, TheConsolesReaderCommandReachesTheLedsOrSaysWhatToDo) {
    struct Case {
        const char* driver;
        uint32_t status;
        bool hint;
        const char* lastControl; // a feature request only where the code was refused
    };
    const Case cases[] = {
        {"native", 0, false, "0x42000DAC"},
        {"ccid", 0x8010001F, true, "0x42000D48"},
        {"ccid-escape", 0, false, "0x42000001"},
        {"vendor", 0, false, "0x42000DAC"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.driver);
        useDriver("native");
        connect(SCARD_SHARE_DIRECT);
        ASSERT_EQ(tessary::TransmitWithLog(m_card, m_protocol, SCARD_SHARE_DIRECT, kLedOff).status,
                  0);
        useDriver(c.driver);
        const auto exchange =
            tessary::TransmitWithLog(m_card, m_protocol, SCARD_SHARE_DIRECT, kLedOn);
        EXPECT_EQ(static_cast<uint32_t>(exchange.status), c.status);
        EXPECT_EQ(exchange.hint.has_value(), c.hint);
        if (c.hint) {
            EXPECT_EQ(exchange.hint->rfind(kHint, 0), 0u);
        }
        EXPECT_EQ(readerStatus(kReader)["blue"], c.status == 0 ? "on" : "off");
        EXPECT_EQ(lastControl(), c.lastControl);
    }
}

TEST_F(ReaderDrivers, MemoryCardsAreReadVerifiedAndWrittenThroughTheAdvertisedEscape) {
    struct Case {
        const char* driver;
        const char* lastControl;
    };
    const Case cases[] = {
        {"native", "0x42000801"}, {"ccid-escape", "0x42000001"}, {"vendor", "0x42000DAC"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.driver);
        useDriver(c.driver);
        insert({"sle4442", "psc=123456", "memory=A2131091", "atr=short"});
        connect(SCARD_SHARE_SHARED);
        std::array<uint8_t, 4> data{};
        uint32_t count = 4;
        ASSERT_EQ(SLE4442_Read_Main_Memory(m_card, data.data(), 0, &count), SCARD_S_SUCCESS);
        EXPECT_EQ(data, (std::array<uint8_t, 4>{0xA2, 0x13, 0x10, 0x91}));
        // A wrong PSC spends exactly one attempt: no frame of the compare went twice.
        const int before = counter();
        EXPECT_EQ(SLE4442_Compare_Verification_Data(m_card, 0x12, 0x34, 0x57), SCARD_W_WRONG_CHV);
        EXPECT_EQ(counter(), before - 1);
        EXPECT_EQ(SLE4442_Compare_Verification_Data(m_card, 0x12, 0x34, 0x56), SCARD_S_SUCCESS);
        const uint8_t bytes[2] = {0xC0, 0xDE};
        ASSERT_EQ(SLE4442_Update_Main_Memory(m_card, bytes, 0x40, 2), SCARD_S_SUCCESS);
        count = 2;
        ASSERT_EQ(SLE4442_Read_Main_Memory(m_card, data.data(), 0x40, &count), SCARD_S_SUCCESS);
        EXPECT_EQ(data[0], 0xC0);
        EXPECT_EQ(data[1], 0xDE);
        EXPECT_EQ(lastControl(), c.lastControl);
        disconnect();

        // The program, on a card it must know by its short ATR.
        const std::string image = (m_dir / "card.img").string();
        Outcome r = memcard({"read", "-r", kReader, image});
        ASSERT_EQ(r.status, 0) << r.err;
        r = memcard({"verify", "-r", kReader, "--psc", "123456"});
        EXPECT_EQ(r.status, 0) << r.err;
        r = memcard({"write", "-r", kReader, "--psc", "123456", image});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(lastControl(), c.lastControl);
    }
}

TEST_F(ReaderDrivers, ADriverWithoutEscapeIsNamedWithItsCure) {
    useDriver("ccid");
    insert({"sle4442", "psc=123456"});
    connect(SCARD_SHARE_SHARED);
    std::array<uint8_t, 4> data{};
    uint32_t count = 4;
    EXPECT_EQ(SLE4442_Read_Main_Memory(m_card, data.data(), 0, &count),
              SCARD_E_UNSUPPORTED_FEATURE);
    disconnect();
    const Outcome r = memcard({"read", "-r", kReader, (m_dir / "card.img").string()});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find(std::string(kHint) + " memory-card frames"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("ifdDriverOptions"), std::string::npos) << r.err;

    const std::string led = (m_dir / "led.apdu").string();
    std::ofstream(led) << "FF E1 02 01 0C A0 FC 10 A0 FD 04 A0 FE 04 A0 FF 01\n";
    const Outcome run = tool(TESSARY_RUN, {"-r", kReader, "-m", "direct", led});
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find(std::string(kHint) + " reader commands"), std::string::npos) << run.err;
}

TEST_F(ReaderDrivers, TheListingNamesWhatEachDriverAdvertises) {
    const std::pair<const char*, const char*> cases[] = {
        {"native", "driver: no escape command, no part 10 features"},
        {"ccid", "driver: no escape command, properties 0x42330012\n"},
        {"ccid-escape", "driver: escape command 0x42000001, properties 0x42330012\n"},
        {"vendor", "driver: escape command 0x42000DAC\n"},
    };
    insert({"sle4428", "atr=short"});
    for (const auto& [driver, says] : cases) {
        useDriver(driver);
        const Outcome r = tool(TESSARY_RUN, {"--list"});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.out.find("ATR 3B 04 92 23 10 91\n  direct convention, T=0, historical bytes "
                             "92 23 10 91: SLE4428 or SLE4418 memory card\n  " +
                             std::string(says)),
                  std::string::npos)
            << driver << '\n'
            << r.out;
    }
}

} // namespace
