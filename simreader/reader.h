// SPDX-License-Identifier: BSD-3-Clause
// One simulated reader: its slot with the card the tool has put there, the card's power,
// the reader's own LED and buzzer state, and the driver personality it answers control
// codes with. The IFD handler entry points hand every call for a reader to its Reader; all
// of a reader's state sits here, guarded by its own lock, so pcscd may call different
// readers at the same time.
#pragma once

#include "cards.h"
#include "driver_personality.h"
#include "reader_commands.h"
#include "state_files.h"

#include "ifd.h"

#include <chrono>
#include <filesystem>
#include <memory>
#include <mutex>
#include <span>
#include <string>

namespace simreader {

class Reader {
public:
    // `folder` holds the reader's state files (see state_files.h).
    explicit Reader(std::filesystem::path folder);

    const std::string& name() const { return m_name; }

    RESPONSECODE presence();
    // `atrLength` holds the room at `atr` on entry and the ATR's length on return.
    RESPONSECODE power(DWORD action, std::span<uint8_t> atr, DWORD& atrLength);
    RESPONSECODE setProtocol(DWORD protocol);
    // `received` is the length of the answer written at the start of `answer`.
    RESPONSECODE transmit(std::span<const uint8_t> command, std::span<uint8_t> answer,
                          DWORD& received);
    RESPONSECODE control(DWORD code, std::span<const uint8_t> command, std::span<uint8_t> answer,
                         DWORD& received);
    RESPONSECODE capability(DWORD tag, std::span<uint8_t> value, DWORD& length);

private:
    // The status file's content for the current state.
    KeyValues status() const;

    // Picks up a change of the card file; a swap of cards reports one empty poll first.
    // A card file that names no card the reader can make leaves the slot empty, refused.
    void refreshCard();
    void dropCard();
    // The slot may take the card its file names: no card left it a moment ago.
    bool slotOpen() const;
    // Picks up a change of the driver file; one that names no personality means native.
    void refreshDriver();
    void publish();
    // `toCard` tells whether the command went to the card, which then takes its time.
    RESPONSECODE runControl(DWORD code, std::span<const uint8_t> command, std::span<uint8_t> answer,
                            DWORD& received, bool& toCard);
    RESPONSECODE escape(std::span<const uint8_t> frame, std::span<uint8_t> answer, DWORD& received,
                        bool& toCard);
    // Holds back the card's answer `rc` for the card's latency, with `lock` let go so that
    // presence polls and the status go on meanwhile. A card pulled or swapped before it
    // answered takes its answer with it.
    RESPONSECODE answerInTime(std::unique_lock<std::mutex>& lock, RESPONSECODE rc, DWORD& received);

    mutable std::mutex m_mutex;
    std::filesystem::path m_folder;
    std::string m_name;

    ProcessIdentity m_host; // the process the driver runs in, for the tool to see it live
    FileStamp m_cardStamp;
    FileStamp m_shownStamp;               // the card file version the slot's card reflects
    std::string m_refusal;                // why the card file gave no card
    std::optional<CardSetting> m_setting; // what the card file says the slot holds
    std::unique_ptr<Card> m_card;         // what the reader sees in the slot
    std::unique_ptr<Card> m_coming;       // the card file's card, while the slot is still empty
    uint64_t m_comingId = 0;
    SlotOptions m_comingSlot;
    CardType m_cardType = CardType::Apdu;
    SlotOptions m_slotOptions;
    uint64_t m_escapeFrames = 0; // since the card went in
    uint64_t m_cardId = 0;
    bool m_powered = false;
    // A card that left the slot leaves it empty until pcscd has surely counted the removal
    // (see presence()): for this long, and for this many answers to its presence polls.
    std::chrono::steady_clock::time_point m_emptyUntil{};
    int m_absentAnswersOwed = 0;
    LedBuzzerState m_led;
    FileStamp m_driverStamp;
    Personality m_personality = Personality::Native;
    std::string m_driverRefusal;        // why the driver file gave no personality
    std::optional<DWORD> m_lastControl; // the code of the last control call, whatever came of it

    std::string m_published;
};

} // namespace simreader
