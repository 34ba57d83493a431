// SPDX-License-Identifier: BSD-3-Clause
// The connections a benchmark works on: the default simulated readers of a private
// pcscd, reached directly through libpcsclite. Every later speed figure is compared with
// what these direct calls cost.
#pragma once

#include <winscard.h>

#include <array>
#include <cstdint>
#include <string>

namespace bench {

// 00 84 00 00 08: GET CHALLENGE of 8 bytes, answered with 8 bytes and 90 00.
inline constexpr std::array<uint8_t, 5> kApdu{0x00, 0x84, 0x00, 0x00, 0x08};
// The reader's LED and buzzer command: LED 1 on, 4 x 20 ms on and off, 4 repetitions.
inline constexpr std::array<uint8_t, 17> kLedCommand{0xFF, 0xE1, 0x02, 0x01, 0x0C, 0xA0,
                                                     0xFC, 0x10, 0xA0, 0xFD, 0x04, 0xA0,
                                                     0xFE, 0x04, 0xA0, 0xFF, 0x04};

class Session {
public:
    // Connects to "KALDOR TR-100" (shared) and "Generic Reader" (direct); aborts with a
    // message when the private pcscd is not there.
    Session();
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    SCARDCONTEXT context() const { return m_context; }
    SCARDHANDLE card() const { return m_card; }
    DWORD protocol() const { return m_protocol; }
    SCARDHANDLE direct() const { return m_direct; }
    const std::string& cardReader() const { return m_cardReader; }

    // A connection to the SLE4428 ("Memory 4428") or the verified SLE4442 ("Memory
    // 4442") reader, opened on first use; 0 when there is none.
    SCARDHANDLE memoryCard(bool sle4428);
    // The SLE4428 in "CCID Memory 4428", whose driver takes memory-card frames only
    // through its advertised escape code.
    SCARDHANDLE escapeMemoryCard();

    // One direct exchange of kApdu; false when it failed.
    bool transmit();
    // One direct LED command through the reader's control code.
    bool control();

private:
    SCARDCONTEXT m_context = 0;
    SCARDHANDLE m_card = 0;
    SCARDHANDLE m_direct = 0;
    DWORD m_protocol = 0;
    std::string m_cardReader;
    SCARDHANDLE m_sle4428 = 0;
    SCARDHANDLE m_sle4442 = 0;
    SCARDHANDLE m_escape4428 = 0;
};

// The one session of a benchmark program, opened on first use.
Session& session();

} // namespace bench
