// SPDX-License-Identifier: BSD-3-Clause
// The command-queue file reader over any bytes: bounded lines, a clear fault, and every
// queue it loads written back the same.
#include "queue_file.h"
#include "fuzz_input.h"
#include "request_text.h"

using namespace tessary;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string_view bytes = fuzz::Input::asText({data, size});
    const QueueFileLines file = ParseQueueFile(bytes);

    FUZZ_CHECK(file.lines.size() <= kQueueCapacity * kLinesPerCommand);
    FUZZ_CHECK(!file.moreCommands || file.lines.size() == kQueueCapacity * kLinesPerCommand);
    for (std::size_t i = 0; i < file.lines.size(); ++i) {
        const std::string& line = file.lines[i];
        FUZZ_CHECK(line.find('\n') == std::string::npos && line.find('\0') == std::string::npos);
        FUZZ_CHECK(characterCount(line) <= kMaxLineLength);
        FUZZ_CHECK(i % kLinesPerCommand != 0 || characterCount(line) <= kMaxNameLength);
    }
    if (file.fault != QueueFileLines::Fault::None) {
        FUZZ_CHECK(file.faultLine == file.lines.size() + 1 && !file.moreCommands);
        const std::string text = QueueFileFaultText(file, "queue.txt");
        FUZZ_CHECK(text.starts_with("Line " + std::to_string(file.faultLine) + " of queue.txt"));
    } else {
        // What loads, saves as lines that load back the same.
        const QueueFileLines again = ParseQueueFile(FormatQueueFile(file.lines));
        FUZZ_CHECK(again.fault == QueueFileLines::Fault::None && again.lines == file.lines);
    }

    const std::vector<CommandEntry> commands = CommandsOfLines(file.lines);
    FUZZ_CHECK(commands.size() == (file.lines.size() + 3) / 4);
    for (std::size_t k = 0; k < commands.size(); ++k) {
        FUZZ_CHECK(commands[k].name == file.lines[4 * k] && commands[k].length >= 0);
        if (4 * k + 2 < file.lines.size()) {
            FUZZ_CHECK(commands[k].request == file.lines[4 * k + 2]);
        }
    }
    FUZZ_CHECK(LeadingNumber(bytes) >= 0);
    return 0;
}
