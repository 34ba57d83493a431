// SPDX-License-Identifier: BSD-3-Clause
// A field's exit event: the input focus leaves it for another control of the window. A
// box or another window taking the focus is no exit, so that a box shown on exit does not
// bring about another.
#pragma once

#include <QObject>

#include <functional>

class QWidget;

class ExitFilter : public QObject {
    Q_OBJECT

public:
    // Calls `handler` after each exit of `field`, once the focus has settled on the
    // control that took it.
    static void install(QWidget* field, std::function<void()> handler);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    ExitFilter(QWidget* field, std::function<void()> handler);

    std::function<void()> m_handler;
};
