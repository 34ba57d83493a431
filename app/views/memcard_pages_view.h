// SPDX-License-Identifier: BSD-3-Clause
// The two memory-card pages' controls as their logic sees them. The pages come from
// their own window descriptions, set up into the tab sheets of the main window.
#pragma once

#include "memcard_pages.h"

#include <array>
#include <memory>

class QLineEdit;
class QPushButton;
class QWidget;
namespace Ui {
class Sle4442Page;
class Sle4428Page;
} // namespace Ui

class MemCardPagesView : public tessary::MemCardView {
public:
    MemCardPagesView();
    ~MemCardPagesView() override;

    // Builds the pages' controls into the two tab sheets; the status line is the window's.
    void setUp(QWidget* sle4442Sheet, QWidget* sle4428Sheet, QLineEdit* statusLine);
    Ui::Sle4442Page& sle4442() { return *m_sle4442; }
    Ui::Sle4428Page& sle4428() { return *m_sle4428; }
    QPushButton* operationButton(uint16_t tag) const;

    void setStatus(const std::string& text) override;
    int cardTypeIndex(tessary::MemCardPage page) const override;
    int cardTypeBoxTag(tessary::MemCardPage page) const override;
    void setCardTypeBoxTag(tessary::MemCardPage page, int tag) override;
    void setOperationVisible(uint16_t tag, bool visible) override;
    void setOperationRed(uint16_t tag, bool red) override;
    void showSend(tessary::MemCardPage page) override;
    void setPrompt(tessary::MemCardPage page, const std::string& text) override;
    void setRanges(tessary::MemCardPage page, int32_t addressLow, int32_t addressHigh,
                   uint32_t lengthLow, uint32_t lengthHigh) override;
    void setAddressLengthVisible(tessary::MemCardPage page, bool visible) override;
    void setKeysVisible(tessary::MemCardPage page, bool visible) override;
    void setWriteBox(tessary::MemCardPage page, bool visible,
                     const std::optional<std::string>& caption) override;
    bool writeBoxChecked(tessary::MemCardPage page) const override;
    tessary::MemCardFields fields(tessary::MemCardPage page, bool withLog) const override;
    void appendLogLines(tessary::MemCardPage page, const std::vector<std::string>& lines) override;
    void clearLog(tessary::MemCardPage page) override;

private:
    std::unique_ptr<Ui::Sle4442Page> m_sle4442;
    std::unique_ptr<Ui::Sle4428Page> m_sle4428;
    std::array<QPushButton*, tessary::kMemCardOperationCount> m_buttons{};
    QLineEdit* m_status = nullptr;
};
