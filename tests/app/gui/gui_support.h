// SPDX-License-Identifier: BSD-3-Clause
// Driving the real window offscreen: waiting for it, finding its controls by name, and a
// fixture that opens it in a folder of its own against the private pcscd, its boxes and
// file dialogs answered through the program's own hook.
#pragma once

#include "Main_mem_pcsc.h"
#include "dialogs.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace guitest {

// Lets the window work until `done` holds or `milliseconds` have passed.
bool waitUntil(const std::function<bool()>& done, int milliseconds = 5000);

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
    const std::vector<tessary::testing::ShownBox>& boxes() {
        return tessary::testing::shownBoxes();
    }

    tessary::testing::AnsweredDialogs m_dialogs;
    bool m_defaultCards = true; // put back before the window opens
    std::unique_ptr<TForm1> m_form;
    std::filesystem::path m_previous;
    std::filesystem::path m_folder;
};

} // namespace guitest
