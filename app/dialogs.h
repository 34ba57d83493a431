// The program's message boxes: captioned "Tallix", with an OK button only.
#pragma once

#include <QString>

namespace tessary {

// A plain message, without an icon or an owner window.
void showMessage(const QString& text);
// The application's error box, as for a number field whose text is not a number.
void showErrorBox(const QString& text);

} // namespace tessary
