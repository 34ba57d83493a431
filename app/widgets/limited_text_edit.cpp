// SPDX-License-Identifier: BSD-3-Clause
#include "limited_text_edit.h"

#include <QKeyEvent>
#include <QMimeData>
#include <QTextBlock>
#include <QTextCursor>

LimitedTextEdit::LimitedTextEdit(QWidget* parent) : QPlainTextEdit(parent) {
    setUndoRedoEnabled(false);
    // Rows of hexadecimal pairs need no text shaping, and a row of thousands of characters
    // is laid out several times faster without it.
    QFont plain = font();
    plain.setStyleStrategy(QFont::PreferNoShaping);
    setFont(plain);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // Tab moves on to the next control, as in every other field.
    setTabChangesFocus(true);
}

void LimitedTextEdit::setMaxLength(int length) {
    m_maxLength = length < 1 ? 1 : length;
}

int LimitedTextEdit::length() const {
    return document()->characterCount() - 1;
}

QString LimitedTextEdit::fitted(const QString& line) const {
    return line.size() > m_maxLength ? line.left(m_maxLength) : line;
}

// Removes whole rows, from the top or from the bottom, until `needed` more characters
// fit: one removal, its ends found from the rows' positions (moving a cursor row by row
// would lay out every row it passes).
void LimitedTextEdit::makeRoom(int needed, bool fromTop) {
    const int excess = length() + needed - m_maxLength;
    if (length() == 0 || excess <= 0) {
        return;
    }
    QTextDocument* doc = document();
    QTextCursor cursor(doc);
    cursor.beginEditBlock();
    if (fromTop) {
        // The first rows, each with the break after it, up to the row that is kept.
        QTextBlock kept = doc->firstBlock();
        while (kept.isValid() && kept.position() < excess) {
            kept = kept.next();
        }
        if (kept.isValid()) {
            cursor.setPosition(0);
            cursor.setPosition(kept.position(), QTextCursor::KeepAnchor);
        } else {
            cursor.select(QTextCursor::Document);
        }
    } else {
        // The last rows, each with the break before it, down from the row that is kept.
        QTextBlock kept = doc->lastBlock();
        while (kept.isValid() && length() - (kept.position() - 1) < excess) {
            kept = kept.previous();
        }
        if (kept.isValid() && kept != doc->firstBlock()) {
            cursor.setPosition(kept.position() - 1);
            cursor.setPosition(length(), QTextCursor::KeepAnchor);
        } else {
            cursor.select(QTextCursor::Document);
        }
    }
    cursor.removeSelectedText();
    cursor.endEditBlock();
}

void LimitedTextEdit::appendLine(const QString& line) {
    const QString text = fitted(line);
    makeRoom(static_cast<int>(text.size()) + (length() > 0 ? 1 : 0), true);
    QTextCursor cursor(document());
    // One edit for all its rows. The text layout lays out a single row appended at the end
    // at once; rows added together wait until they are shown, which for rows of a few
    // thousand characters is most of what an append would cost.
    cursor.beginEditBlock();
    // The end, set rather than moved to: a move lays out the row it starts from.
    cursor.setPosition(length());
    if (length() > 0) {
        cursor.insertBlock();
    }
    cursor.insertText(text);
    cursor.endEditBlock();
    // Scrolled once the handler is done, however many appends it made.
    if (!m_scrollPending) {
        m_scrollPending = true;
        QMetaObject::invokeMethod(
            this,
            [this] {
                m_scrollPending = false;
                ensureCursorVisible();
            },
            Qt::QueuedConnection);
    }
}

void LimitedTextEdit::insertLineAtTop(const QString& line) {
    const QString text = fitted(line);
    const auto empty = [this] { return length() == 0 && document()->blockCount() == 1; };
    makeRoom(static_cast<int>(text.size()) + (empty() ? 0 : 1), false);
    // Making room may have emptied the log: then the row needs no break after it.
    const bool alone = empty();
    QTextCursor cursor(document());
    cursor.beginEditBlock();
    cursor.setPosition(0);
    cursor.insertText(text);
    if (!alone) {
        cursor.insertBlock();
    }
    cursor.endEditBlock();
}

void LimitedTextEdit::insertFromMimeData(const QMimeData* source) {
    if (!source->hasText()) {
        return;
    }
    const int room = m_maxLength - length() + static_cast<int>(textCursor().selectedText().size());
    QString text = source->text();
    if (text.size() > room) {
        text = text.left(room < 0 ? 0 : room);
    }
    textCursor().insertText(text);
}

void LimitedTextEdit::keyPressEvent(QKeyEvent* event) {
    const bool adds = !event->text().isEmpty() && event->text().at(0).isPrint();
    const bool newRow = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if ((adds || newRow) && !isReadOnly() && !textCursor().hasSelection() &&
        length() >= m_maxLength) {
        return; // full
    }
    QPlainTextEdit::keyPressEvent(event);
}
