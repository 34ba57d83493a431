// SPDX-License-Identifier: BSD-3-Clause
#include "command_queue.h"

#include "integer_text.h"

namespace tessary {

std::string LineBreaksAsBlanks(std::string_view text) {
    std::string kept(text);
    for (char& c : kept) {
        if (c == '\r' || c == '\n') {
            c = ' ';
        }
    }
    return kept;
}

void CommandQueue::AddCmdBitBtnClick() {
    const std::string name = LineBreaksAsBlanks(m_view.commandName());
    const std::string request = LineBreaksAsBlanks(m_console.requestText());
    const std::string lengthText = m_console.lengthField();
    // Refused whole: nothing is cut.
    if (m_count >= static_cast<int>(kQueueCapacity)) {
        m_view.showMessage("The queue is full: it holds at most " + std::to_string(kQueueCapacity) +
                           " commands.");
        return;
    }
    if (characterCount(name) > kMaxNameLength) {
        m_view.showMessage("A command name holds at most " + std::to_string(kMaxNameLength) +
                           " characters.");
        return;
    }
    if (characterCount(request) > kMaxRequestLength) {
        m_view.showMessage("A queued request holds at most " + std::to_string(kMaxRequestLength) +
                           " characters.");
        return;
    }
    m_view.appendItem(name);
    m_view.disableAdd();
    // The request's line end gives the empty fourth line of the file.
    m_saveImage.insert(m_saveImage.end(), {name, lengthText, request, ""});
    m_view.setSaveImage(m_saveImage);
    m_commandTable[static_cast<std::size_t>(m_count)] = {name, request,
                                                         FieldInteger(lengthText).value_or(0)};
    ++m_count;
}

void CommandQueue::CmdListBoxClick() {
    const int index = m_view.selectedIndex();
    if (index < 0 || index >= m_count) {
        return;
    }
    const CommandEntry& entry = m_commandTable[static_cast<std::size_t>(index)];
    m_view.setCommandName(entry.name);
    m_console.setLengthField(std::to_string(entry.length));
    m_console.setRequestText(entry.request);
}

void CommandQueue::Save(const std::string& fileName) {
    if (!WriteQueueFile(fileName, m_saveImage)) {
        m_view.showErrorBox("Cannot create file " + fileName);
    }
}

void CommandQueue::Load(const std::string& fileName) {
    // The file is read whole before anything changes, so that a file that cannot be read
    // costs the operator nothing.
    const QueueFileRead read = ReadQueueFile(fileName);
    if (!read.opened) {
        m_view.showErrorBox("Cannot open file " + fileName);
        return;
    }
    if (read.content.fault != QueueFileLines::Fault::None) {
        m_view.showErrorBox(QueueFileFaultText(read.content, fileName));
        return;
    }
    const std::vector<CommandEntry> commands = CommandsOfLines(read.content.lines);
    m_view.clearItems();
    // Entries above the loaded ones keep what they held.
    for (std::size_t k = 0; k < commands.size(); ++k) {
        m_commandTable[k] = commands[k];
        m_view.appendItem(commands[k].name);
    }
    m_count = static_cast<int>(commands.size());
    // A last command without all its lines is completed, so that commands added after it
    // start on a line of their own in the file.
    m_saveImage = read.content.lines;
    m_saveImage.resize(commands.size() * kLinesPerCommand);
    m_view.setSaveImage(m_saveImage);
    if (m_count > 0) {
        m_view.selectItem(0);
        CmdListBoxClick();
    }
    if (read.content.moreCommands) {
        m_view.showMessage(MoreCommandsText(fileName));
    }
}

} // namespace tessary
