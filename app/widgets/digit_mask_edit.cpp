// SPDX-License-Identifier: BSD-3-Clause
#include "digit_mask_edit.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>

namespace {

constexpr QChar kEmptyPlace = QLatin1Char('_');

QString digitsOf(const QString& text) {
    QString digits;
    for (const QChar c : text) {
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9')) {
            digits += c;
        }
    }
    return digits;
}

} // namespace

DigitMaskEdit::DigitMaskEdit(QWidget* parent) : QLineEdit(parent) {
    setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    // Every change goes through the keys handled below.
    setContextMenuPolicy(Qt::NoContextMenu);
    setDragEnabled(false);
    setAcceptDrops(false);
    setAttribute(Qt::WA_InputMethodEnabled, false);
    display(QString());
}

void DigitMaskEdit::setPositions(int positions) {
    m_positions = positions < 1 ? 1 : positions;
    setMaxLength(m_positions);
    display(digits());
}

QString DigitMaskEdit::fieldText() const {
    return digits().rightJustified(m_positions, QLatin1Char(' '));
}

void DigitMaskEdit::setFieldText(const QString& text) {
    display(digitsOf(text));
}

QString DigitMaskEdit::digits() const {
    return digitsOf(text());
}

void DigitMaskEdit::display(const QString& value) {
    setText(value.left(m_positions).rightJustified(m_positions, kEmptyPlace));
    setCursorPosition(m_positions);
}

void DigitMaskEdit::keyPressEvent(QKeyEvent* event) {
    QString current = digits();
    const bool replacing = hasSelectedText() && selectedText().size() == text().size();
    if (event->matches(QKeySequence::Paste)) {
        const QString pasted = digitsOf(QApplication::clipboard()->text());
        display((replacing ? QString() : current) + pasted);
        return;
    }
    if (event->key() == Qt::Key_Backspace || event->key() == Qt::Key_Delete) {
        current.chop(1);
        display(replacing ? QString() : current);
        return;
    }
    const QString typed = event->text();
    if (typed.size() == 1 && typed[0] >= QLatin1Char('0') && typed[0] <= QLatin1Char('9')) {
        if (replacing) {
            display(typed);
        } else if (current.size() < m_positions) {
            display(current + typed);
        }
        return;
    }
    // Anything else that would edit the text is not for this field; moving around and
    // leaving it are.
    const bool edits = (!typed.isEmpty() && typed[0].isPrint()) ||
                       event->matches(QKeySequence::Cut) || event->matches(QKeySequence::Undo) ||
                       event->matches(QKeySequence::Redo) ||
                       event->matches(QKeySequence::DeleteEndOfWord) ||
                       event->matches(QKeySequence::DeleteStartOfWord) ||
                       event->matches(QKeySequence::DeleteEndOfLine) ||
                       event->matches(QKeySequence::DeleteCompleteLine);
    if (edits) {
        return;
    }
    QLineEdit::keyPressEvent(event);
}
