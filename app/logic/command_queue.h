// SPDX-License-Identifier: BSD-3-Clause
// The command queue: named commands kept in a fixed table beside the list that shows
// their names, added from the console, recalled into it, and saved to and loaded from a
// queue file through the save image (the lines the file holds).
#pragma once

#include "console_page.h"
#include "queue_file.h"

#include <array>
#include <string>
#include <vector>

namespace tessary {

// What the queue asks of the window, beyond the console's fields.
class QueueView {
public:
    virtual ~QueueView() = default;
    virtual std::string commandName() const = 0;
    virtual void setCommandName(const std::string& name) = 0;
    // The list of names.
    virtual void appendItem(const std::string& name) = 0;
    virtual void clearItems() = 0;
    virtual int selectedIndex() const = 0; // -1 when none
    // Selects an item the way the program does, which is no click of the operator's.
    virtual void selectItem(int index) = 0;
    virtual void disableAdd() = 0;
    // The hidden list that mirrors the save image.
    virtual void setSaveImage(const std::vector<std::string>& lines) = 0;
    // A message box captioned "Tallix"; the application's error box.
    virtual void showMessage(const std::string& text) = 0;
    virtual void showErrorBox(const std::string& text) = 0;
};

using CommandTable = std::array<CommandEntry, kQueueCapacity>;

// A request as the queue keeps it: every line break (CR LF, or a lone CR or LF) as that
// many blanks, so that it stays on one line and counts and converts as before.
std::string LineBreaksAsBlanks(std::string_view text);

class CommandQueue {
public:
    CommandQueue(QueueView& view, ConsoleView& console) : m_view(view), m_console(console) {}

    void AddCmdBitBtnClick();
    // Select: the selected command into the console.
    void CmdListBoxClick();
    // The saving or loading of a file name that the operator confirmed.
    void Save(const std::string& fileName);
    void Load(const std::string& fileName);

    int count() const { return m_count; }
    int selectedIndex() const { return m_view.selectedIndex(); }
    void select(int index) { m_view.selectItem(index); }
    const CommandTable& commandTable() const { return m_commandTable; }
    const std::vector<std::string>& saveImage() const { return m_saveImage; }

private:
    QueueView& m_view;
    ConsoleView& m_console;
    CommandTable m_commandTable{};
    int m_count = 0;
    std::vector<std::string> m_saveImage;
};

} // namespace tessary
