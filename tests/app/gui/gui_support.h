// Driving the real window offscreen: waiting for it, answering its modal boxes and file
// dialogs, finding its controls by name, and a fixture that opens it in a folder of its
// own against the private pcscd.
#pragma once

#include "Main_mem_pcsc.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace guitest {

// Lets the window work until `done` holds or `milliseconds` have passed.
bool waitUntil(const std::function<bool()>& done, int milliseconds = 5000);
// Lets the window work for a while.
void settle(int milliseconds = 50);

// Closes every modal box as soon as it shows, or once it has been open for `holdFor`
// milliseconds, keeping its text and icon, so that no test can hang on one.
class ModalCloser {
public:
    explicit ModalCloser(int holdFor = 0);
    struct Seen {
        QString title;
        QString text;
        QMessageBox::Icon icon;
    };
    const std::vector<Seen>& seen() const { return m_seen; }
    void clear() { m_seen.clear(); }
    void holdFor(int milliseconds) { m_holdFor = milliseconds; }
    // Called when a box is first seen and just before it is closed.
    std::function<void()> onOpen, onClose;

private:
    QTimer m_timer;
    std::vector<Seen> m_seen;
    QMessageBox* m_open = nullptr;
    qint64 m_openedAt = 0;
    int m_holdFor;
};

// Answers the next file dialog that opens: chooses `fileName`, or cancels when it is
// empty. Keeps the dialog's title and name filters.
class FileDialogAnswer {
public:
    explicit FileDialogAnswer(const QString& fileName);
    bool answered() const { return m_answered; }
    QString title;
    QStringList filters;

private:
    QTimer m_timer;
    bool m_answered = false;
    int m_pollsSince = 0;
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

// The window, shown, in a fresh current folder with the trace switched on; the default
// cards in the simulated readers.
class WindowTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    template <typename T>
    T* get(const char* name) {
        return child<T>(*m_form, name);
    }
    QString status();
    QString log();
    QStringList logLines();
    // Types the request into the emptied request field.
    void type(const QString& request);
    void click(const char* button);
    void connectMode(int index);
    void runMode(int index);
    std::string trace();
    std::string path(const char* name) const { return (m_folder / name).string(); }

    ModalCloser m_boxes;
    std::unique_ptr<TForm1> m_form;
    std::filesystem::path m_previous;
    std::filesystem::path m_folder;
};

} // namespace guitest
