// The program's message boxes: captioned "Tallix", with an OK button only.
#pragma once

#include <QString>

namespace tessary {

// A plain message, without an icon or an owner window.
void showMessage(const QString& text);
// The application's error box, as for a number field whose text is not a number.
void showErrorBox(const QString& text);

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

} // namespace tessary
