// SPDX-License-Identifier: BSD-3-Clause
#include "memcard_pages.h"

#include <memory>
#include <stdexcept>

namespace tessary {
namespace {

constexpr const char* kResponse = "Response:";
constexpr const char* kRequestExample = "Request: Ex.01 05 DE FF ...";
constexpr const char* kRequest = "Request:";

// How a page is laid out for each tag. A caption of nullptr leaves the write check box's
// caption as it is; "" empties it.
struct Layout {
    const char* prompt;
    bool clearLog;
    bool addressLength;
    bool writeBox;
    const char* writeCaption;
    bool keys;
};
constexpr Layout kLayouts[kMemCardOperationCount] = {
    {kResponse, false, true, false, nullptr, false},
    {kRequestExample, true, true, true, nullptr, false},
    {kResponse, false, false, false, nullptr, false},
    {kRequestExample, true, true, false, nullptr, false},
    {kResponse, false, false, false, nullptr, false},
    {kRequestExample, true, true, false, nullptr, false},
    {kResponse, false, false, false, nullptr, true},
    {kResponse, false, true, false, "", false},
    {kRequest, false, true, true, "Write Data Without Protect Bit Checked", false},
    {kResponse, false, true, false, "", false},
    {kRequest, false, true, false, "", false},
    {kRequest, false, true, true, "Write Data With Protect Bit Checked", false},
    {kResponse, false, false, false, "", true},
};

MemCardPage pageOf(uint16_t tag) {
    return OnSle4442Page(tag) ? MemCardPage::Sle4442 : MemCardPage::Sle4428;
}

// A binding that the program failed to make is an unexpected failure of the operation.
template <typename Function>
Function bound(Function function) {
    if (function == nullptr) {
        throw std::logic_error("memory-card export not bound");
    }
    return function;
}

int32_t result(LONG value) {
    // PC/SC results are 32-bit codes that pcsc-lite keeps in a long.
    return static_cast<int32_t>(static_cast<uint32_t>(value));
}

} // namespace

void MemCardPages::Check3242RadioGroupClick() {
    const int index = m_view.cardTypeIndex(MemCardPage::Sle4442);
    if (index == 0 || index == 1) {
        setCardType(MemCardPage::Sle4442, index == 0); // "SLE 4432", "SLE 4442"
    }
}

void MemCardPages::Check1828RadioGroupClick() {
    const int index = m_view.cardTypeIndex(MemCardPage::Sle4428);
    if (index == 0 || index == 1) {
        setCardType(MemCardPage::Sle4428, index == 0); // "SLE 4418", "SLE 4428"
    }
}

void MemCardPages::setCardType(MemCardPage page, bool otherType) {
    if (page == MemCardPage::Sle4442) {
        // SLE4432 cards have no security memory: "Read Security" to "Verification" go.
        for (uint16_t tag = 0; tag < kFirstSle4428Tag; ++tag) {
            m_view.setOperationVisible(tag, !otherType || tag < 4);
        }
        m_sle4432Mode = otherType;
    } else {
        // SLE4418 cards have no PSC: "PSC Verify" goes.
        for (uint16_t tag = kFirstSle4428Tag; tag < kMemCardOperationCount; ++tag) {
            m_view.setOperationVisible(tag, !otherType || tag < 12);
        }
        m_sle4418Mode = otherType;
    }
}

// The yellow boxes toggle on their tag value, whatever their check mark shows.
void MemCardPages::SLE4432CheckBoxClick() {
    const bool toOther = m_view.cardTypeBoxTag(MemCardPage::Sle4442) != 0;
    m_view.setCardTypeBoxTag(MemCardPage::Sle4442, toOther ? 0 : 1);
    for (uint16_t tag = 4; tag < kFirstSle4428Tag; ++tag) {
        m_view.setOperationVisible(tag, !toOther);
    }
    m_sle4432Mode = toOther;
}

void MemCardPages::SLE4418CheckBoxClick() {
    const bool toOther = m_view.cardTypeBoxTag(MemCardPage::Sle4428) != 0;
    m_view.setCardTypeBoxTag(MemCardPage::Sle4428, toOther ? 0 : 1);
    m_view.setOperationVisible(12, !toOther);
    m_sle4418Mode = toOther;
}

void MemCardPages::BitBtn4442Click(uint16_t tag) {
    try {
        if (m_highlighted) {
            m_view.setOperationRed(*m_highlighted, false);
        }
        m_view.setOperationRed(tag, true);
        m_highlighted = tag;
        Sle18283242SetParameter(tag);
        m_selectedTag = tag;
    } catch (...) {
        m_view.setStatus("Unknown Function Select");
    }
}

void MemCardPages::Sle18283242SetParameter(uint16_t tag) {
    const MemCardOperation* operation = FindMemCardOperation(tag);
    if (operation == nullptr) {
        return;
    }
    const MemCardPage page = pageOf(tag);
    const Layout& layout = kLayouts[tag];
    m_view.showSend(page);
    // The bytes to write are typed into the emptied log.
    if (layout.clearLog) {
        ClearBitBtnClick();
    }
    m_view.setPrompt(page, layout.prompt);
    m_view.setRanges(page, operation->addressLow, operation->addressHigh, operation->lengthLow,
                     operation->lengthHigh);
    m_view.setAddressLengthVisible(page, layout.addressLength);
    m_view.setWriteBox(page, layout.writeBox,
                       layout.writeCaption == nullptr
                           ? std::nullopt
                           : std::optional<std::string>(layout.writeCaption));
    m_view.setKeysVisible(page, layout.keys);
}

void MemCardPages::send(MemCardPage page) {
    // The selected tag is shared by both pages.
    if (pageOf(m_selectedTag) != page) {
        m_view.setStatus("Unknown Function Select !!!");
        return;
    }
    try {
        const uint16_t tag = m_selectedTag;
        const bool otherType = page == MemCardPage::Sle4442 ? m_sle4432Mode : m_sle4418Mode;
        const bool checked = m_view.writeBoxChecked(page);
        const auto request = std::make_unique<MemCardRequest>();
        request->operationName = MemCardOperationName(tag, otherType, checked);
        std::string status;
        const MemCardOperation* operation = FindMemCardOperation(tag);
        const bool withLog = operation != nullptr && operation->dataFromLog;
        if (!Sle18283242CheckInputEdit(tag, m_view.fields(page, withLog), *request, status)) {
            m_view.setStatus(status);
            return;
        }
        request->result = call(tag, otherType, checked, *request);
        m_connection.noteCallResult(request->result);
        const MemCardResultLog log = Sle18283242CheckReturn(tag, *request);
        if (!log.lines.empty()) {
            m_view.appendLogLines(page, log.lines);
        }
        m_view.setStatus(log.status);
    } catch (...) {
        m_view.setStatus(kParameterInvalid);
    }
}

int32_t MemCardPages::call(uint16_t tag, bool otherType, bool checked, MemCardRequest& r) {
    const CordrelBindings& c = m_cordrel;
    const SCARDHANDLE card = m_connection.card();
    uint8_t* data = r.data.data();
    const auto address = static_cast<uint32_t>(r.address);
    const bool other = otherType;
    switch (tag) {
    case 0:
        return result(
            bound(other ? c.readMain4432 : c.readMain4442)(card, data, address, &r.count));
    case 1: {
        const auto update = other ? (checked ? c.updateMainChecked4432 : c.updateMain4432)
                                  : (checked ? c.updateMainChecked4442 : c.updateMain4442);
        return result(bound(update)(card, data, address, r.length));
    }
    case 2: {
        const LONG rv = bound(other ? c.readProtection4432 : c.readProtection4442)(card, data);
        r.count = 4;
        return result(rv);
    }
    case 3:
        return result(bound(other ? c.writeProtection4432
                                  : c.writeProtection4442)(card, data, address, r.length));
    case 4: {
        const LONG rv = bound(c.readSecurity4442)(card, data);
        r.count = 1;
        return result(rv);
    }
    case 5:
        return result(bound(c.updateSecurity4442)(card, data, address, r.length));
    case 6:
        return result(bound(c.verify4442)(card, r.key[0], r.key[1], r.key[2]));
    case 7:
        return result(bound(other ? c.readWithoutProtect4418
                                  : c.readWithoutProtect4428)(card, data, address, &r.count));
    case 8: {
        const auto write =
            other ? (checked ? c.writeWithoutProtectChecked4418 : c.writeWithoutProtect4418)
                  : (checked ? c.writeWithoutProtectChecked4428 : c.writeWithoutProtect4428);
        return result(bound(write)(card, data, address, r.length));
    }
    case 9:
        return result(bound(other ? c.readWithProtect4418 : c.readWithProtect4428)(
            card, data, r.protect.data(), address, &r.count));
    case 10:
        return result(bound(other ? c.writeProtectBit4418
                                  : c.writeProtectBit4428)(card, data, address, r.length));
    case 11: {
        const auto write = other
                               ? (checked ? c.writeWithProtectChecked4418 : c.writeWithProtect4418)
                               : (checked ? c.writeWithProtectChecked4428 : c.writeWithProtect4428);
        return result(bound(write)(card, data, address, r.length));
    }
    case 12:
        return result(bound(c.verify4428)(card, r.key[0], r.key[1]));
    default:
        throw std::logic_error("no such memory-card operation");
    }
}

} // namespace tessary
