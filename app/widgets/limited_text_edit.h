// SPDX-License-Identifier: BSD-3-Clause
// A multi-line text field that holds at most a given number of characters. A read-only
// log keeps within the limit by removing whole rows at the end far from where a new line
// goes; an editable field refuses what would not fit.
#pragma once

#include <QPlainTextEdit>

class LimitedTextEdit : public QPlainTextEdit {
    Q_OBJECT
    Q_PROPERTY(int maxLength READ maxLength WRITE setMaxLength)

public:
    explicit LimitedTextEdit(QWidget* parent = nullptr);

    int maxLength() const { return m_maxLength; }
    void setMaxLength(int length);
    int length() const; // characters held, row breaks counted as one

    // A new last row (the oldest rows give way), or a new first row (the last rows give
    // way). Line feeds inside `line` start further rows.
    void appendLine(const QString& line);
    void insertLineAtTop(const QString& line);

protected:
    void insertFromMimeData(const QMimeData* source) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void makeRoom(int needed, bool fromTop);
    QString fitted(const QString& line) const;

    int m_maxLength = 65536;
    bool m_scrollPending = false;
};
