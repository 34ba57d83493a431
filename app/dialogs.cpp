// SPDX-License-Identifier: BSD-3-Clause
#include "dialogs.h"

#include <QTimer>

#include <deque>

namespace tessary {
namespace {

int g_openModals = 0; // the user-interface thread's only

// The user-interface thread's only, like the boxes themselves.
struct Answering {
    bool on = false;
    std::deque<testing::Answer> queued;
    std::vector<testing::ShownBox> boxes;
    std::vector<testing::ShownFileDialog> fileDialogs;
};
Answering& answering() {
    static Answering state;
    return state;
}

testing::Answer nextAnswer() {
    std::deque<testing::Answer>& queued = answering().queued;
    if (queued.empty()) {
        return {};
    }
    testing::Answer answer = std::move(queued.front());
    queued.pop_front();
    return answer;
}

// Gives a dialog its time on screen, if the answer asks for any, as a modal window.
void holdOpen(QDialog& dialog, const testing::Answer& answer) {
    if (answer.onOpen) {
        answer.onOpen();
    }
    if (answer.shownFor) {
        // Ends with this call, so that it can never close the dialog when it next opens.
        QTimer closer;
        closer.setSingleShot(true);
        QObject::connect(&closer, &QTimer::timeout, &dialog, [&dialog, &answer] {
            if (answer.onClose) {
                answer.onClose();
            }
            dialog.done(QDialog::Rejected);
        });
        closer.start(*answer.shownFor);
        dialog.exec();
    } else if (answer.onClose) {
        answer.onClose();
    }
}

void show(QMessageBox::Icon icon, const QString& text) {
    QMessageBox box(icon, QStringLiteral("Tallix"), text, QMessageBox::Ok);
    const ModalScope open;
    if (!answering().on) {
        box.exec();
        return;
    }
    answering().boxes.push_back({box.windowTitle(), box.text(), box.icon(), box.standardButtons()});
    holdOpen(box, nextAnswer());
}

} // namespace

void showMessage(const QString& text) {
    show(QMessageBox::NoIcon, text);
}

void showErrorBox(const QString& text) {
    show(QMessageBox::Critical, text);
}

bool execFileDialog(QFileDialog& dialog) {
    const ModalScope open;
    if (!answering().on) {
        return dialog.exec() == QDialog::Accepted;
    }
    answering().fileDialogs.push_back(
        {dialog.windowTitle(), dialog.nameFilters(), dialog.options(), dialog.acceptMode()});
    const testing::Answer answer = nextAnswer();
    holdOpen(dialog, answer);
    if (answer.fileName.isEmpty()) {
        return false;
    }
    // The dialog's own signal, as its accept sends it, so that the window takes the name
    // on the path it takes from a person.
    emit dialog.fileSelected(answer.fileName);
    return true;
}

bool modalOpen() {
    return g_openModals > 0;
}

ModalScope::ModalScope() {
    ++g_openModals;
}

ModalScope::~ModalScope() {
    --g_openModals;
}

namespace testing {

AnsweredDialogs::AnsweredDialogs() {
    clearShown();
    answering().queued.clear();
    answering().on = true;
}

AnsweredDialogs::~AnsweredDialogs() {
    answering().on = false;
    answering().queued.clear();
}

void setNextAnswer(Answer answer) {
    answering().queued.push_back(std::move(answer));
}

const std::vector<ShownBox>& shownBoxes() {
    return answering().boxes;
}

const std::vector<ShownFileDialog>& shownFileDialogs() {
    return answering().fileDialogs;
}

void clearShown() {
    answering().boxes.clear();
    answering().fileDialogs.clear();
}

} // namespace testing
} // namespace tessary
