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
    ASSERT_EQ(ctl({"insert", "Generic Reader", "sle4442", "counter=5"}), 0) << m_output;
    ASSERT_EQ(ctl({"status"}), 0) << m_output;
    EXPECT_EQ(m_output.substr(0, m_output.find(" blue=")),
              "Generic Reader: card=sle4442 pending=yes");
    driver.presence();
    ASSERT_EQ(ctl({"status"}), 0);
    EXPECT_EQ(m_output.substr(0, m_output.find(" blue=")),
              "Generic Reader: card=sle4442 powered=no counter=5 verified=no");

    // A hand-edited card file the driver makes no card of.
    std::ofstream(m_reader / kCardFile) << "type=sle4432\nid=9\nmemory=XY\n";
    driver.presence();
    EXPECT_EQ(driver.presence(), IFD_ICC_NOT_PRESENT);
    ASSERT_EQ(ctl({"status"}), 0);
    EXPECT_EQ(m_output.substr(0, m_output.find(" blue=")),
              "Generic Reader: card=none refused=sle4432 powered=no");
    EXPECT_NE(m_output.find("\n  refused: memory= takes up to 256 bytes"), std::string::npos)
        << m_output;
}

} // namespace
