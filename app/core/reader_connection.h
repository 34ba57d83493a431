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

// "KALDOR TR-100", "KALDOR RF-9000" and `extra` (cut to fit its slot).
SupportedReaders MakeSupportedReaders(std::string_view extra);
// The first line of the file, at most 126 bytes, without its CR LF or LF; empty when the
// file is missing, is not a regular file (or a link to one), cannot be opened or yields
// nothing.
std::string LoadExtraReaderName(const char* fileName);
// A byte-exact, case-sensitive prefix test against the non-empty slots.
bool IsSupportedReader(std::string_view text, const SupportedReaders& table);
// Connect-mode index to share mode: 0 "Shared" 2, 1 "Excusive" 1, 2 "Direct" 3, any
// other 1.
uint32_t GetShareMode(int selectedIndex);
// "ATR: " and "%02X " per byte.
std::string FormatAtrLine(const uint8_t* atr, uint32_t length);

class ReaderConnection {
public:
    explicit ReaderConnection(ReaderView& view) : m_view(view) {}

    void FormCreate();       // binds the library, readies the window
    void ReaderDetectFunc(); // one listing attempt
    void ReaderComboBoxChange();
    void LinkReader();   // connects to the selected reader
    void UnlinkReader(); // closes the card connection, if any
    void FormClose();

    SCARDCONTEXT context() const { return m_context; }
    SCARDHANDLE card() const { return m_card; }
    uint32_t activeProtocol() const { return m_activeProtocol; }
    uint32_t readerCount() const { return m_readerCount; }

private:
    void showStatusName(int32_t status);

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
};

} // namespace tessary
