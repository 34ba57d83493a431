// SPDX-License-Identifier: BSD-3-Clause
// The real window, offscreen, while the PC/SC service goes away and comes back: pcscd
// killed under an automatic run, and the program started while pcscd is down. The test
// has a private pcscd of its own, which it kills and starts again.
#include "gui_support.h"
#include "sim_pcscd.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace guitest;
using namespace simtest;

namespace {

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

int openDescriptors() {
    const std::filesystem::path fds("/proc/self/fd");
    return static_cast<int>(std::distance(std::filesystem::directory_iterator(fds),
                                          std::filesystem::directory_iterator()));
}

// pcscd gone at once, as after a crash: SIGKILL, and its clients' sockets close.
void killDaemon() {
    pid_t pid = 0;
    std::ifstream(std::string(std::getenv("SIM_PCSCD_DIR")) + "/pcscd.pid") >> pid;
    ASSERT_GT(pid, 0);
    ASSERT_EQ(::kill(pid, SIGKILL), 0);
    // Gone once its socket refuses: its threads may still answer while its first one
    // already shows as a zombie, and nobody here reaps it.
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s",
                  std::getenv("PCSCLITE_CSOCK_NAME"));
    ASSERT_TRUE(waitUntil([&] {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const bool refused =
            ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0;
        ::close(fd);
        return refused;
    }));
}

void startDaemon() {
    const std::string command =
        "TESSARY_BUILD_DIR='" BUILD_DIR "' '" SIM_PCSCD "' start >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0);
}

class ServiceGone : public WindowTest {
protected:
    void SetUp() override {
        startDaemon(); // afresh, whatever an earlier test left
        WindowTest::SetUp();
    }
    void loadQueue(int commands) {
        std::ostringstream text;
        for (int i = 0; i < commands; ++i) {
            text << "Challenge " << i << "\r\n  5\r\n00 84 00 00 08\r\n\r\n";
        }
        m_queueText = text.str();
        std::ofstream(path("queue.txt"), std::ios::binary) << m_queueText;
        m_form->OpenCmdDialogCanClose(QString::fromStdString(path("queue.txt")));
        m_form->OpenCmdDialogClose(true);
        ASSERT_EQ(get<QListWidget>("CmdListBox")->count(), commands);
    }
    int count(const QString& text) { return static_cast<int>(log().count(text)); }

    std::string m_queueText;
};

TEST_F(ServiceGone, KilledUnderAnAutomaticRunAndBackAgain) {
    loadQueue(40);
    ASSERT_TRUE(pickReader(*m_form, kContactReader));
    ASSERT_EQ(status(), "Initial Reader Successed");
    runMode(0); // "Automatic"
    get<QLineEdit>("EditCmdInterval")->setText(QStringLiteral("1"));
    m_form->EditCmdIntervalExit();
    const int descriptors = openDescriptors();

    click("SendSmartCardBitBtn"); // starts the run
    ASSERT_TRUE(waitUntil([&] { return count(QStringLiteral("Receive Data: ")) >= 5; }));
    killDaemon();
    // Every step after that logs its failure and the run goes on to its end.
    ASSERT_TRUE(waitUntil([&] { return !m_form->run().autoRunActive(); }));
    EXPECT_EQ(count(QStringLiteral("Send Data: ")), 40);
    const int failed = count(QStringLiteral("KTX_PCSC_SCARDTRANSMIT_ERR of Receive Data."));
    EXPECT_GE(failed, 1);
    EXPECT_EQ(count(QStringLiteral("Receive Data: ")) + failed, 40);
    EXPECT_EQ(status(), "Send Data Failed Return 0xAA9");
    EXPECT_TRUE(boxes().empty());
    // The queue is whole and the window takes input: saved, it is the file it came from.
    EXPECT_EQ(get<QListWidget>("CmdListBox")->currentRow(), 39);
    EXPECT_TRUE(get<QPushButton>("SaveCmdBitBtn")->isEnabled());
    m_form->SaveCmdDialogCanClose(QString::fromStdString(path("saved.txt")));
    m_form->SaveCmdDialogClose(true);
    EXPECT_EQ(slurp(path("saved.txt")), m_queueText);

    // Back: choosing the reader again says the old connection could not be closed, then
    // connects through a new start of the library.
    startDaemon();
    ASSERT_TRUE(pickReader(*m_form, kContactReader));
    EXPECT_EQ(status(), "Initial Reader Successed");
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_EQ(boxes()[0].text, "KTX_PCSC_SCARDDISCONNECT_ERR");
    EXPECT_TRUE(log().startsWith(QStringLiteral("ATR: 3B 88 80 31 ")));
    runMode(1); // "Manual Operation"
    type(QStringLiteral("00 84 00 00 08"));
    click("SendSmartCardBitBtn");
    EXPECT_EQ(status(), "Send Data Success");
    // Nothing of the dead context stays open.
    EXPECT_LE(openDescriptors(), descriptors);

    // The failure's trace is kept whole beside the new one.
    const std::string kept = slurp(path("PcScLog.1.txt"));
    EXPECT_NE(kept.find("Return KTX_PCSC_SCARDTRANSMIT_ERR lReturn = 8010001Dh"),
              std::string::npos);
    EXPECT_TRUE(kept.ends_with("CloseLibrary_WIN Enter\r\n"));

    // On the reader's own command path the window sees the service's result itself, so the
    // next choice starts the library again without closing what died with it.
    connectMode(2); // "Direct"
    ASSERT_TRUE(pickReader(*m_form, kContactReader));
    ASSERT_EQ(status(), "Initial Reader Successed");
    killDaemon();
    type(QStringLiteral("FF E1 02 01 0C A0 FC 30 A0 FD 04 A0 FE 04 A0 FF 04"));
    click("SendSmartCardBitBtn");
    EXPECT_EQ(status(), "Send Data Failed Return 0x8010001D");
    startDaemon();
    tessary::testing::clearShown();
    ASSERT_TRUE(pickReader(*m_form, kContactReader));
    EXPECT_EQ(status(), "Initial Reader Successed");
    EXPECT_TRUE(boxes().empty());
    click("SendSmartCardBitBtn");
    EXPECT_EQ(status(), "Send Data Success");

    // Each trace holds one library cycle: the one that died, and the one after it.
    m_form.reset();
    const std::string died = slurp(path("PcScLog.1.txt"));
    EXPECT_NE(died.find("Ktx_SCardTransmit Return KTX_SUCCESS"), std::string::npos);
    EXPECT_NE(died.find("Return Ktx_SCardControl lReturn = 8010001Dh"), std::string::npos);
    const std::string last = trace();
    EXPECT_NE(last.find("Ktx_SCardEstablishContext Return KTX_SUCCESS"), std::string::npos);
    EXPECT_NE(last.find("Return Ktx_SCardControl lReturn = 0h"), std::string::npos);
    EXPECT_EQ(last.find("8010001D"), std::string::npos);
}

TEST_F(ServiceGone, StartedWhileTheServiceIsDownFindsTheReadersOnceItRuns) {
    m_form.reset();
    killDaemon();
    tessary::testing::clearShown();
    m_form = std::make_unique<TForm1>();
    m_form->show();
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_EQ(boxes()[0].text, "KTX_PCSC_SCARDESTABLISHCONTEXT_ERR");
    ASSERT_TRUE(waitUntil([&] { return status() == "Can not Found Smartcard Reader."; }));
    // A listing that fails again shows no box.
    m_form->ReaderDetectTimerTimer();
    m_form->ReaderDetectTimerTimer();
    EXPECT_EQ(boxes().size(), 1u);

    startDaemon();
    ASSERT_TRUE(waitUntil([&] { return status() == "Select Reader To Start Please."; }));
    EXPECT_EQ(get<QComboBox>("ReaderComboBox")->count(), 3);
    // No library cycle had started before: there was no trace worth keeping.
    EXPECT_FALSE(std::filesystem::exists(path("PcScLog.1.txt")));

    // Gone and back while no connection is held: nothing has failed yet when the reader
    // is chosen, so the failed connect itself finds out, and is tried again.
    killDaemon();
    startDaemon();
    ASSERT_TRUE(pickReader(*m_form, kContactReader));
    EXPECT_EQ(status(), "Initial Reader Successed");
    EXPECT_EQ(boxes().size(), 1u);
    EXPECT_NE(
        slurp(path("PcScLog.1.txt")).find("Return KTX_PCSC_SCARDCONNECT_ERR lReturn = 8010001Dh"),
        std::string::npos);
}

} // namespace
