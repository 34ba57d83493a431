// SPDX-License-Identifier: BSD-3-Clause
// The reader connection: the access library's context, the listing of readers, the
// supported-reader test, connecting in the chosen share mode with the ATR line on top of
// the data log, and closing. It reaches the window only through ReaderView.
#pragma once

#include "prolvak.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace tessary {

// What the connection asks of the window.
class ReaderView {
public:
    virtual ~ReaderView() = default;
    virtual void setStatus(const std::string& text) = 0;
    // A message box captioned "Tallix" with an OK button only.
    virtual void showMessage(const std::string& text) = 0;
    virtual void appendReader(const std::string& name) = 0;
    virtual std::string readerText() const = 0;
    virtual int readerIndex() const = 0; // -1 when none
    virtual void clearLog() = 0;
    virtual void insertLogLineAtTop(const std::string& line) = 0;
    virtual bool cardDetectTicked() const = 0;
    virtual int connectModeIndex() const = 0; // -1 when none
    virtual void setReaderDetectTimer(bool running) = 0;
    virtual void setCardDetectTimer(bool running) = 0;
    virtual void hideMemoryCardTabs() = 0;
    virtual void showPanels() = 0;
    virtual void setMaxLengthCaption(const std::string& caption) = 0;
};

// Three slots of 256 bytes; an empty slot takes no part in matching.
using SupportedReaders = std::array<std::array<char, 256>, 3>;
inline constexpr const char* kReaderNameFile = "Readername.txt";
// The access library's trace, and where a restart of the library keeps the one before.
inline constexpr const char* kTraceFile = "PcScLog.txt";
inline constexpr const char* kKeptTraceFile = "PcScLog.1.txt";

// "KALDOR TR-100", "KALDOR RF-9000" and `extra` (cut to fit its slot).
SupportedReaders MakeSupportedReaders(std::string_view extra);
// The first line of the file, at most 126 bytes, without its CR LF or LF; empty when the
// file is missing, is not a regular file (or a link to one), cannot be opened or yields
// nothing.
std::string LoadExtraReaderName(const char* fileName);
// A byte-exact, case-sensitive prefix test against the non-empty slots.
bool IsSupportedReader(std::string_view text, const SupportedReaders& table);
// ("Excusive" is the caption operators know: keep the spelling.)
// Connect-mode index to share mode: 0 "Shared" 2, 1 "Excusive" 1, 2 "Direct" 3, any
// other 1.
uint32_t GetShareMode(int selectedIndex);
// "ATR: " and "%02X " per byte.
std::string FormatAtrLine(const uint8_t* atr, uint32_t length);

// Whether a PC/SC result says the service is gone (pcscd stopped or killed): a context
// made before that never works again, even once the service is back.
bool ServiceGone(LONG result);
// Whether a status code of the access library comes only from a context or a connection
// that the service no longer serves: the library hides the PC/SC result of its calls, and
// these are what a service gone gives the window.
bool ServiceGoneStatus(int32_t status);
// Moves a trace file (a regular file, not a link) to `kept`, replacing what was there, and
// puts an empty one in its place, so that the file that switches tracing on stays. False
// when there was none to move.
bool KeepTraceFile(const char* trace, const char* kept);

class ReaderConnection {
public:
    explicit ReaderConnection(ReaderView& view) : m_view(view) {}

    void FormCreate();       // binds the library, readies the window
    void ReaderDetectFunc(); // one listing attempt
    void ReaderComboBoxChange();
    void LinkReader();   // connects to the selected reader
    void UnlinkReader(); // closes the card connection, if any
    void FormClose();

    // The result of a call on the connection: a PC/SC result handed back unchanged (the
    // reader's control path, the memory-card library) counts when it says the service is
    // gone; a status code of the access library, which hides that result, never does.
    void noteCallResult(LONG result);
    // A call reported the service gone: the next connect or listing starts the library
    // again first.
    bool serviceGone() const { return m_serviceGone; }

    SCARDCONTEXT context() const { return m_context; }
    SCARDHANDLE card() const { return m_card; }
    uint32_t activeProtocol() const { return m_activeProtocol; }
    uint32_t readerCount() const { return m_readerCount; }

private:
    void showStatusName(int32_t status);
    int32_t startLibrary();
    void restartLibrary();
    bool contextServed(); // a listing on the context does not report the service gone
    int32_t connect(uint32_t shareMode);
    // The listed name of the reader the selector shows; empty when it shows none.
    const char* chosenReader() const;

    ReaderView& m_view;
    SCARDCONTEXT m_context = 0;
    SCARDHANDLE m_card = 0;
    uint32_t m_activeProtocol = 0;
    uint32_t m_cardState = 0;
    std::array<uint8_t, 33> m_atr{};
    uint32_t m_atrLength = 0;
    std::array<SlotInfo, PROLVAK_MAX_READERS> m_readers{};
    std::array<SCARD_READERSTATE, PROLVAK_MAX_READERS> m_states{};
    uint32_t m_readerCount = 0;
    std::array<char, 256> m_messageText{};
    bool m_serviceGone = false;
    bool m_libraryStarted = false; // the last InitLibrary_WIN established a context
};

} // namespace tessary
