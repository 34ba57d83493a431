#include "limited_text_edit.h"

#include <QKeyEvent>
#include <QMimeData>
#include <QTextBlock>
#include <QTextCursor>

LimitedTextEdit::LimitedTextEdit(QWidget* parent) : QPlainTextEdit(parent) {
    setUndoRedoEnabled(false);
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
// fit.
void LimitedTextEdit::makeRoom(int needed, bool fromTop) {
    QTextDocument* doc = document();
    while (length() > 0 && length() + needed > m_maxLength) {
        QTextCursor cursor(doc);
        if (doc->blockCount() == 1) {
            cursor.select(QTextCursor::Document);
            cursor.removeSelectedText();
            break;
        }
        if (fromTop) {
            cursor.movePosition(QTextCursor::Start);
            cursor.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor);
        } else {
            cursor.movePosition(QTextCursor::End);
            cursor.movePosition(QTextCursor::PreviousBlock, QTextCursor::MoveAnchor);
            cursor.movePosition(QTextCursor::EndOfBlock);
            cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
        }
        cursor.removeSelectedText();
    }
}

void LimitedTextEdit::appendLine(const QString& line) {
    const QString text = fitted(line);
    makeRoom(static_cast<int>(text.size()) + (length() > 0 ? 1 : 0), true);
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    if (length() > 0) {
        cursor.insertBlock();
    }
    cursor.insertText(text);
    ensureCursorVisible();
}

void LimitedTextEdit::insertLineAtTop(const QString& line) {
    const QString text = fitted(line);
    const bool empty = length() == 0 && document()->blockCount() == 1;
    makeRoom(static_cast<int>(text.size()) + (empty ? 0 : 1), false);
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::Start);
    cursor.insertText(text);
    if (!empty) {
        cursor.insertBlock();
    }
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
