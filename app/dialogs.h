// SPDX-License-Identifier: BSD-3-Clause
// The program's message boxes, captioned "Tallix" with an OK button only, and the way its
// file dialogs are run; and, for tests, answers given in place of a person.
#pragma once

#include <QFileDialog>
#include <QMessageBox>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <vector>

namespace tessary {

// A plain message, without an icon or an owner window.
void showMessage(const QString& text);
// The application's error box, as for a number field whose text is not a number.
void showErrorBox(const QString& text);
// Runs one of the program's file dialogs: true when a file was chosen, which the dialog's
// fileSelected has handed on by then.
bool execFileDialog(QFileDialog& dialog);

// A box or dialog runs its own event loop, so timers tick under it. While one that the
// program opened is open, the automatic run and the reader listing skip their ticks.
bool modalOpen();
// Counts a modal box or dialog of the program as open for the scope's lifetime.
class ModalScope {
public:
    ModalScope();
    ~ModalScope();
    ModalScope(const ModalScope&) = delete;
    ModalScope& operator=(const ModalScope&) = delete;
};

namespace testing {

// How the next box or file dialog, whichever opens first, is answered. (The braces let a
// test name only what it sets.)
struct Answer {
    // A file dialog's choice; empty cancels it.
    QString fileName{};
    // Milliseconds it is really shown, as a modal window that takes the focus and runs its
    // own event loop, before the answer; unset, it is answered without being shown.
    std::optional<int> shownFor{};
    // Called as it opens and just before it closes.
    std::function<void()> onOpen{}, onClose{};
};

// What the program showed, read from the box or dialog it built.
struct ShownBox {
    QString title;
    QString text;
    QMessageBox::Icon icon;
    QMessageBox::StandardButtons buttons;
};
struct ShownFileDialog {
    QString title;
    QStringList nameFilters;
    QFileDialog::Options options;
    QFileDialog::AcceptMode acceptMode;
};

// While one exists, no box or file dialog of the program waits for a person: each is
// recorded and takes the next queued answer, or, with none queued, is answered at once
// (a box with OK, a file dialog cancelled).
class AnsweredDialogs {
public:
    AnsweredDialogs();
    ~AnsweredDialogs();
    AnsweredDialogs(const AnsweredDialogs&) = delete;
    AnsweredDialogs& operator=(const AnsweredDialogs&) = delete;
};

// Queues an answer: boxes and file dialogs take them in the order they open.
void setNextAnswer(Answer answer);
const std::vector<ShownBox>& shownBoxes();
const std::vector<ShownFileDialog>& shownFileDialogs();
void clearShown();

} // namespace testing
} // namespace tessary
