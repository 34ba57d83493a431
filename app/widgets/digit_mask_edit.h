// SPDX-License-Identifier: BSD-3-Clause
// A fixed-width field of decimal digits that fills from the right, as the length field of
// the console does: 5 in three places shows "__5", and the field's text is "  5" (blanks
// before the digits), the text that the checks and the queue files expect. Qt's input
// masks fill from the left, hence this field.
#pragma once

#include <QLineEdit>

class DigitMaskEdit : public QLineEdit {
    Q_OBJECT
    Q_PROPERTY(int positions READ positions WRITE setPositions)

public:
    explicit DigitMaskEdit(QWidget* parent = nullptr);

    int positions() const { return m_positions; }
    void setPositions(int positions);

    // The digits right-aligned in their places, blanks before them; all blanks when empty.
    QString fieldText() const;
    // Shows the digits of `text`; blanks and anything else are dropped, and digits beyond
    // the places are not kept.
    void setFieldText(const QString& text);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    QString digits() const;
    void display(const QString& value);

    int m_positions = 3;
};
