// SPDX-License-Identifier: BSD-3-Clause
// The two memory-card pages: the card type of each, the operation chosen with its
// button, the page laid out for it, and SEND calling the memory-card library's export of
// that operation with the reader connection's card handle.
#pragma once

#include "cordrel_binding.h"
#include "memcard_request.h"
#include "reader_connection.h"

#include <optional>
#include <string>
#include <vector>

namespace tessary {

enum class MemCardPage { Sle4442, Sle4428 };

// What the pages ask of the window. Operation buttons are named by their tags.
class MemCardView {
public:
    virtual ~MemCardView() = default;
    virtual void setStatus(const std::string& text) = 0;
    virtual int cardTypeIndex(MemCardPage page) const = 0; // the radio group; -1 when none
    // The yellow check box's tag value, which its clicks toggle.
    virtual int cardTypeBoxTag(MemCardPage page) const = 0;
    virtual void setCardTypeBoxTag(MemCardPage page, int tag) = 0;
    virtual void setOperationVisible(uint16_t tag, bool visible) = 0;
    virtual void setOperationRed(uint16_t tag, bool red) = 0;
    virtual void showSend(MemCardPage page) = 0;
    virtual void setPrompt(MemCardPage page, const std::string& text) = 0;
    // The range labels: low and high address, low and high length.
    virtual void setRanges(MemCardPage page, int32_t addressLow, int32_t addressHigh,
                           uint32_t lengthLow, uint32_t lengthHigh) = 0;
    virtual void setAddressLengthVisible(MemCardPage page, bool visible) = 0;
    virtual void setKeysVisible(MemCardPage page, bool visible) = 0;
    // The write check box; a caption replaces the one it shows.
    virtual void setWriteBox(MemCardPage page, bool visible,
                             const std::optional<std::string>& caption) = 0;
    virtual bool writeBoxChecked(MemCardPage page) const = 0;
    // The fields, and the log's text only when `withLog`.
    virtual MemCardFields fields(MemCardPage page, bool withLog) const = 0;
    virtual void appendLogLines(MemCardPage page, const std::vector<std::string>& lines) = 0;
    virtual void clearLog(MemCardPage page) = 0;
};

class MemCardPages {
public:
    MemCardPages(MemCardView& view, ReaderConnection& connection, const CordrelBindings& cordrel)
        : m_view(view), m_connection(connection), m_cordrel(cordrel) {}

    void Check3242RadioGroupClick();
    void Check1828RadioGroupClick();
    void SLE4432CheckBoxClick();
    void SLE4418CheckBoxClick();
    void BitBtn4442Click(uint16_t tag); // any of the thirteen operation buttons
    void Sle18283242SetParameter(uint16_t tag);
    void SendBitBtnClick() { send(MemCardPage::Sle4442); }
    void SendSle2818BitBtnClick() { send(MemCardPage::Sle4428); }
    void ClearBitBtnClick() { m_view.clearLog(MemCardPage::Sle4442); }
    void ClearSle1828BitBtnClick() { m_view.clearLog(MemCardPage::Sle4428); }

    uint16_t selectedTag() const { return m_selectedTag; }
    bool sle4432Mode() const { return m_sle4432Mode; }
    bool sle4418Mode() const { return m_sle4418Mode; }

private:
    void setCardType(MemCardPage page, bool otherType);
    void send(MemCardPage page);
    // Calls the export of the request's operation; gives its PC/SC result.
    int32_t call(uint16_t tag, bool otherType, bool checked, MemCardRequest& request);

    MemCardView& m_view;
    ReaderConnection& m_connection;
    CordrelBindings m_cordrel;
    uint16_t m_selectedTag = 0;
    std::optional<uint16_t> m_highlighted;
    bool m_sle4432Mode = false;
    bool m_sle4418Mode = false;
};

} // namespace tessary
