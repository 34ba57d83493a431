// SPDX-License-Identifier: BSD-3-Clause
// tessary-run's scripts, response patterns and run files over any text: a command per APDU
// line or a fault with its line, every pattern shown as it reads back, and a file's format
// told by its shape only when the other reading fails.
#include "fuzz_input.h"
#include "hex_text.h"
#include "run_file.h"
#include "script.h"

using namespace tessary::run;
using tessary::formatHex;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    fuzz::Input input(data, size);
    const std::string_view responseBytes = input.piece();
    const std::span<const uint8_t> response(reinterpret_cast<const uint8_t*>(responseBytes.data()),
                                            responseBytes.size());
    const std::string_view text = input.rest();

    const ScriptParse script = parseScript(text);
    if (script.errorLine != 0) {
        FUZZ_CHECK(script.commands.empty() && !script.error.empty());
        FUZZ_CHECK(script.errorLine <=
                   static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1);
    } else {
        FUZZ_CHECK(script.error.empty());
    }
    std::size_t previous = 0;
    for (const ScriptCommand& command : script.commands) {
        FUZZ_CHECK(command.line > previous && !command.apdu.empty() &&
                   command.apdu.size() <= kMaxApduLength);
        previous = command.line;
        // An APDU as the program shows it reads back as the same bytes.
        const ScriptParse shown = parseScript(formatHex(command.apdu));
        FUZZ_CHECK(shown.errorLine == 0 && shown.commands.size() == 1 &&
                   shown.commands[0].apdu == command.apdu);
        if (command.expect) {
            const PatternParse again = parsePattern(formatPattern(*command.expect));
            FUZZ_CHECK(again.error.empty() &&
                       formatPattern(again.pattern) == formatPattern(*command.expect));
            matchPattern(*command.expect, response);
        }
    }

    // A file's format: what is detected reads the same when named, and a file read as a
    // queue reads as no script; one refused as either reads both ways.
    const FileCommands detected = commandsOfFile(text, "f", FileFormat::Detect);
    const FileCommands asQueue = commandsOfFile(text, "f", FileFormat::Queue);
    const FileCommands asScript = commandsOfFile(text, "f", FileFormat::Script);
    if (detected.error.find("--format queue or --format script") != std::string::npos) {
        FUZZ_CHECK(asScript.error.empty() && !asScript.commands.empty());
    } else if (detected.error.empty()) {
        const FileCommands& named = detected.format == FileFormat::Queue ? asQueue : asScript;
        FUZZ_CHECK(named.error.empty() && named.commands.size() == detected.commands.size());
        for (std::size_t i = 0; i < named.commands.size(); ++i) {
            FUZZ_CHECK(named.commands[i].apdu == detected.commands[i].apdu);
        }
        FUZZ_CHECK(detected.format == FileFormat::Script || !asScript.error.empty());
    }

    // A pattern on its own (--expect): whatever matches must end in the bytes it names.
    const PatternParse pattern = parsePattern(text.substr(0, 4096));
    if (pattern.error.empty()) {
        const bool matches = matchPattern(pattern.pattern, response);
        const auto& last = pattern.pattern.elements.back();
        if (matches && last.kind == PatternElement::Kind::Byte) {
            FUZZ_CHECK(!response.empty() && response.back() == last.value);
        }
        if (pattern.pattern.elements.size() == response.size()) {
            bool exact = true;
            for (std::size_t i = 0; i < response.size(); ++i) {
                const auto& e = pattern.pattern.elements[i];
                exact = exact && e.kind == PatternElement::Kind::Byte && e.value == response[i];
            }
            FUZZ_CHECK(!exact || matches);
        }
    }
    return 0;
}
