// Driving the real window offscreen: waiting for it, closing its modal boxes, finding its
// controls by name.
#pragma once

#include "Main_mem_pcsc.h"

#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <functional>
#include <string>
#include <vector>

namespace guitest {

// Lets the window work until `done` holds or `milliseconds` have passed.
bool waitUntil(const std::function<bool()>& done, int milliseconds = 5000);
// Lets the window work for a while.
void settle(int milliseconds = 50);

// Closes every modal box as soon as it shows, keeping its text and icon, so that no test
// can hang on one.
class ModalCloser {
public:
    ModalCloser();
    struct Seen {
        QString title;
        QString text;
        QMessageBox::Icon icon;
    };
    const std::vector<Seen>& seen() const { return m_seen; }

private:
    QTimer m_timer;
    std::vector<Seen> m_seen;
};

template <typename T>
T* child(TForm1& form, const char* name) {
    T* found = form.findChild<T*>(QString::fromLatin1(name));
    if (found == nullptr) {
        qFatal("no control %s", name);
    }
    return found;
}

// Picks the listed reader whose name starts with `configuredName`, as the operator does.
bool pickReader(TForm1& form, const std::string& configuredName);

} // namespace guitest
