// SPDX-License-Identifier: BSD-3-Clause
#include "memcard_pages_view.h"

#include "ui_sle4428_page.h"
#include "ui_sle4442_page.h"

#include <QPalette>

using tessary::MemCardPage;

namespace {

// A key field's text: two places, an empty place read as a blank.
std::string keyText(const QLineEdit* field) {
    QString text = field->displayText();
    text.replace(QLatin1Char('_'), QLatin1Char(' '));
    return text.toStdString();
}

} // namespace

MemCardPagesView::MemCardPagesView()
    : m_sle4442(std::make_unique<Ui::Sle4442Page>()),
      m_sle4428(std::make_unique<Ui::Sle4428Page>()) {}

MemCardPagesView::~MemCardPagesView() = default;

void MemCardPagesView::setUp(QWidget* sle4442Sheet, QWidget* sle4428Sheet, QLineEdit* statusLine) {
    m_sle4442->setupUi(sle4442Sheet);
    m_sle4428->setupUi(sle4428Sheet);
    m_status = statusLine;
    Ui::Sle4442Page& a = *m_sle4442;
    Ui::Sle4428Page& b = *m_sle4428;
    m_buttons = {a.BitBtn1, a.BitBtn2, a.BitBtn3,  a.BitBtn4,  a.BitBtn5,  a.BitBtn6, a.BitBtn7,
                 b.BitBtn8, b.BitBtn9, b.BitBtn10, b.BitBtn11, b.BitBtn12, b.BitBtn13};
    // The yellow boxes lie beneath the radio groups, at their place.
    a.SLE4432CheckBox->lower();
    b.SLE4418CheckBox->lower();
}

QPushButton* MemCardPagesView::operationButton(uint16_t tag) const {
    return tag < m_buttons.size() ? m_buttons[tag] : nullptr;
}

void MemCardPagesView::setStatus(const std::string& text) {
    m_status->setText(QString::fromStdString(text));
}

int MemCardPagesView::cardTypeIndex(MemCardPage page) const {
    return page == MemCardPage::Sle4442 ? m_sle4442->Check3242RadioGroup->itemIndex()
                                        : m_sle4428->Check1828RadioGroup->itemIndex();
}

int MemCardPagesView::cardTypeBoxTag(MemCardPage page) const {
    const QCheckBox* box =
        page == MemCardPage::Sle4442 ? m_sle4442->SLE4432CheckBox : m_sle4428->SLE4418CheckBox;
    return box->property("tag").toInt();
}

void MemCardPagesView::setCardTypeBoxTag(MemCardPage page, int tag) {
    QCheckBox* box =
        page == MemCardPage::Sle4442 ? m_sle4442->SLE4432CheckBox : m_sle4428->SLE4418CheckBox;
    box->setProperty("tag", tag);
}

void MemCardPagesView::setOperationVisible(uint16_t tag, bool visible) {
    if (QPushButton* button = operationButton(tag)) {
        button->setVisible(visible);
    }
}

void MemCardPagesView::setOperationRed(uint16_t tag, bool red) {
    if (QPushButton* button = operationButton(tag)) {
        QPalette palette = button->palette();
        palette.setColor(QPalette::ButtonText, red ? QColor(0xFF, 0, 0) : QColor(0, 0, 0));
        button->setPalette(palette);
    }
}

void MemCardPagesView::showSend(MemCardPage page) {
    (page == MemCardPage::Sle4442 ? m_sle4442->SendBitBtn : m_sle4428->SendSle2818BitBtn)->show();
}

void MemCardPagesView::setPrompt(MemCardPage page, const std::string& text) {
    (page == MemCardPage::Sle4442 ? m_sle4442->ShowLabel : m_sle4428->ShowSle1828Label)
        ->setText(QString::fromStdString(text));
}

void MemCardPagesView::setRanges(MemCardPage page, int32_t addressLow, int32_t addressHigh,
                                 uint32_t lengthLow, uint32_t lengthHigh) {
    const bool first = page == MemCardPage::Sle4442;
    (first ? m_sle4442->AddrRangeL : m_sle4428->Sle1828AddrRangeL)
        ->setText(QString::number(addressLow));
    (first ? m_sle4442->AddrRangeH : m_sle4428->Sle1828AddrRangeH)
        ->setText(QString::number(addressHigh));
    (first ? m_sle4442->DataLengthL : m_sle4428->Sle1828DataLengthL)
        ->setText(QString::number(lengthLow));
    (first ? m_sle4442->DataLengthH : m_sle4428->Sle1828DataLengthH)
        ->setText(QString::number(lengthHigh));
}

void MemCardPagesView::setAddressLengthVisible(MemCardPage page, bool visible) {
    const bool first = page == MemCardPage::Sle4442;
    (first ? m_sle4442->StartAddrPanel : m_sle4428->StartAddrSle1828Panel)->setVisible(visible);
    (first ? m_sle4442->DataLenPanel : m_sle4428->DataLengthSle1828Panel)->setVisible(visible);
}

void MemCardPagesView::setKeysVisible(MemCardPage page, bool visible) {
    (page == MemCardPage::Sle4442 ? m_sle4442->VerificationPanel
                                  : m_sle4428->VerificationSle1828Panel)
        ->setVisible(visible);
}

void MemCardPagesView::setWriteBox(MemCardPage page, bool visible,
                                   const std::optional<std::string>& caption) {
    QCheckBox* box = page == MemCardPage::Sle4442 ? m_sle4442->CheckWriteCheckBox
                                                  : m_sle4428->CheckWriteSle1828CheckBox;
    if (caption) {
        box->setText(QString::fromStdString(*caption));
    }
    box->setVisible(visible);
}

bool MemCardPagesView::writeBoxChecked(MemCardPage page) const {
    return (page == MemCardPage::Sle4442 ? m_sle4442->CheckWriteCheckBox
                                         : m_sle4428->CheckWriteSle1828CheckBox)
        ->isChecked();
}

tessary::MemCardFields MemCardPagesView::fields(MemCardPage page, bool withLog) const {
    tessary::MemCardFields fields;
    const LimitedTextEdit* log = nullptr;
    if (page == MemCardPage::Sle4442) {
        const Ui::Sle4442Page& a = *m_sle4442;
        fields.address = a.StartaddrMaskEdit->fieldText().toStdString();
        fields.length = a.DataLenMaskEdit->fieldText().toStdString();
        fields.keys = {keyText(a.VerificationMaskEdit_1), keyText(a.VerificationMaskEdit_2),
                       keyText(a.VerificationMaskEdit_3)};
        log = a.LogRichEdit;
    } else {
        const Ui::Sle4428Page& b = *m_sle4428;
        fields.address = b.StartAddrSle1828MaskEdit->fieldText().toStdString();
        fields.length = b.DataLenSle1828MaskEdit->fieldText().toStdString();
        fields.keys = {keyText(b.VerificationSle1828MaskEdit_1),
                       keyText(b.VerificationSle1828MaskEdit_2), std::string()};
        log = b.LogSle1828RichEdit;
    }
    if (!withLog) {
        return fields;
    }
    // A line break takes the two positions of CR LF in the log's positional rules.
    QString text = log->toPlainText();
    text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    fields.log = text.toStdString();
    return fields;
}

void MemCardPagesView::appendLogLines(MemCardPage page, const std::vector<std::string>& lines) {
    // One append of all the rows, so that they go in as one edit.
    std::size_t size = 0;
    for (const std::string& line : lines) {
        size += line.size() + 1;
    }
    QString rows;
    rows.reserve(static_cast<qsizetype>(size));
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i > 0) {
            rows += QLatin1Char('\n');
        }
        rows += QString::fromStdString(lines[i]);
    }
    (page == MemCardPage::Sle4442 ? m_sle4442->LogRichEdit : m_sle4428->LogSle1828RichEdit)
        ->appendLine(rows);
}

void MemCardPagesView::clearLog(MemCardPage page) {
    (page == MemCardPage::Sle4442 ? m_sle4442->LogRichEdit : m_sle4428->LogSle1828RichEdit)
        ->clear();
}
