// SPDX-License-Identifier: BSD-3-Clause
// simreader-ctl against readers whose driver runs in this process, has ended, or never
// ran: it reports what the driver holds, and refuses to pretend when no daemon serves them.
#include "reader.h"
#include "sim_pcscd.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sys/wait.h>
#include <unistd.h>

using namespace simreader;
using simtest::simCtl;

namespace {

class SimreaderCtl : public ::testing::Test {
protected:
    void SetUp() override {
        m_base = std::filesystem::temp_directory_path() /
                 ("simreader-ctl-" + std::to_string(::getpid()));
        std::filesystem::remove_all(m_base);
        ASSERT_EQ(ctl({"setup", SIMREADER_DRIVER, "Generic Reader="}), 0) << m_output;
        m_reader = m_base / "readers" / "0";
    }
    void TearDown() override { std::filesystem::remove_all(m_base); }

    int ctl(std::vector<std::string> args) {
        args.insert(args.begin(), {"--dir", m_base.string()});
        return simCtl(args, &m_output);
    }

    std::filesystem::path m_base;
    std::filesystem::path m_reader;
    std::string m_output;
};

TEST_F(SimreaderCtl, DeadDaemonIsReportedNotItsLastState) {
    // Never started, then started and gone (pcscd killed, its folder left behind).
    for (const bool ran : {false, true}) {
        if (ran) {
            const pid_t child = ::fork();
            if (child == 0) {
                Reader driver(m_reader); // shows itself and the slot in the status file
                ::_exit(0);
            }
            ASSERT_GT(child, 0);
            ::waitpid(child, nullptr, 0);
            ASSERT_TRUE(std::filesystem::exists(m_reader / kStatusFile));
        }
        EXPECT_EQ(ctl({"status"}), 2) << ran;
        EXPECT_NE(m_output.find("is pcscd running?"), std::string::npos) << m_output;
        EXPECT_EQ(ctl({"insert", "Generic Reader", "apdu"}), 2) << ran;
        EXPECT_FALSE(std::filesystem::exists(m_reader / kCardFile)) << ran;
    }
}

TEST_F(SimreaderCtl, StatusShowsWhatTheDriverHoldsOrThatItIsPending) {
    Reader driver(m_reader); // pcscd polls it below
    ASSERT_EQ(ctl({"insert", "Generic Reader", "sle4442", "counter=5", "latency=20"}), 0)
        << m_output;
    ASSERT_EQ(ctl({"status"}), 0) << m_output;
    EXPECT_EQ(m_output.substr(0, m_output.find(" blue=")),
              "Generic Reader: card=sle4442 pending=yes driver=native last-control=none");
    driver.presence();
    ASSERT_EQ(ctl({"status"}), 0);
    EXPECT_EQ(m_output.substr(0, m_output.find(" blue=")),
              "Generic Reader: card=sle4442 powered=no counter=5 latency=20 verified=no "
              "driver=native last-control=none");

    // A hand-edited card file the driver makes no card of.
    std::ofstream(m_reader / kCardFile) << "type=sle4432\nid=9\nmemory=XY\n";
    driver.presence();
    EXPECT_EQ(driver.presence(), IFD_ICC_NOT_PRESENT);
    ASSERT_EQ(ctl({"status"}), 0);
    EXPECT_EQ(
        m_output.substr(0, m_output.find(" blue=")),
        "Generic Reader: card=none refused=sle4432 powered=no driver=native last-control=none");
    EXPECT_NE(m_output.find("\n  refused: memory= takes up to 256 bytes"), std::string::npos)
        << m_output;
}

TEST_F(SimreaderCtl, DriverCommandChecksThePersonalityAndTheDaemon) {
    EXPECT_EQ(ctl({"driver", "Generic Reader", "ccid"}), 2) << m_output; // no daemon
    Reader driver(m_reader);
    EXPECT_EQ(ctl({"driver", "Generic Reader", "pcsc"}), 1);
    EXPECT_NE(m_output.find("unknown personality 'pcsc'; personalities: native, ccid"),
              std::string::npos)
        << m_output;
    EXPECT_EQ(ctl({"driver", "Generic Reader"}), 1);
    EXPECT_FALSE(std::filesystem::exists(m_reader / kDriverFile));

    ASSERT_EQ(ctl({"driver", "Generic Reader", "ccid-escape"}), 0) << m_output;
    ASSERT_EQ(ctl({"status"}), 0);
    EXPECT_NE(m_output.find(" driver=ccid-escape driver-pending=yes last-control=none blue="),
              std::string::npos)
        << m_output;
    DWORD returned = 0;
    driver.control(kFeatureRequestCode, {}, {}, returned); // no room: refused, but counted
    ASSERT_EQ(ctl({"status"}), 0);
    EXPECT_NE(m_output.find(" driver=ccid-escape last-control=0x42000D48 blue="), std::string::npos)
        << m_output;

    // A hand-edited driver file the driver makes nothing of.
    std::ofstream(m_reader / kDriverFile) << "ccid escape\n";
    driver.presence();
    ASSERT_EQ(ctl({"status"}), 0);
    EXPECT_NE(m_output.find(" driver=native driver-refused=yes "), std::string::npos) << m_output;
    EXPECT_NE(m_output.find("\n  driver refused: the driver file names no personality ('ccid "
                            "escape')"),
              std::string::npos)
        << m_output;
}

TEST_F(SimreaderCtl, SetupTakesACardAndAPersonalityPerReader) {
    for (const char* bad :
         {"A=apdu@pcsc", "A=@", "A=floppy@ccid", "A=apdu latency=-1", "A=@ccid latency=5"}) {
        EXPECT_EQ(ctl({"setup", SIMREADER_DRIVER, "Fine=@vendor", bad}), 1) << bad;
    }
    ASSERT_EQ(ctl({"setup", SIMREADER_DRIVER, "A=sle4442@vendor psc=123456  latency=5",
                   "B=@ccid-escape", "C=apdu", "D", "E=F G=apdu latency=20"}),
              0)
        << m_output;
    struct Laid {
        const char* folder;
        bool card;
        std::optional<std::string> driver;
    };
    for (const Laid& laid : {Laid{"0", true, "vendor\n"}, Laid{"1", false, "ccid-escape\n"},
                             Laid{"2", true, std::nullopt}, Laid{"3", false, std::nullopt}}) {
        const auto folder = m_base / "readers" / laid.folder;
        EXPECT_EQ(std::filesystem::exists(folder / kCardFile), laid.card) << laid.folder;
        EXPECT_EQ(readSmallFile(folder / kDriverFile), laid.driver) << laid.folder;
    }
    // Settings follow the card type in the same word; a name may hold '=' and blanks.
    for (const auto& [folder, name, settings] :
         {std::tuple{"0", "A\n", KeyValues{{"latency", "5"}, {"psc", "123456"}}},
          std::tuple{"4", "E=F G\n", KeyValues{{"latency", "20"}}}}) {
        std::string error;
        const auto text = readSmallFile(m_base / "readers" / folder / kCardFile);
        const auto values = text ? parseKeyValues(*text, error) : std::nullopt;
        const auto setting = values ? parseCardSetting(*values, error) : std::nullopt;
        ASSERT_TRUE(setting) << folder << ": " << error;
        EXPECT_EQ(setting->options, settings) << folder;
        EXPECT_EQ(readSmallFile(m_base / "readers" / folder / kNameFile), name);
    }
}

} // namespace
