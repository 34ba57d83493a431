// SPDX-License-Identifier: BSD-3-Clause
// What the commands say: results on standard output, notes and errors on standard error
// under the program's name, a card's failures and a PSC verification's outcome as the
// operator reads them, and the words their messages share.
#pragma once

#include "card_session.h"
#include "reader_lines.h"

#include <cstddef>
#include <string>

namespace tessary::memcard {

inline constexpr const char* kProgram = "tessary-memcard";

// The calling thread's results and notes go, for its lifetime, to the lines of the one
// reader it serves in a run on several.
class ReaderMessages {
public:
    ReaderMessages(tessary::tools::ReaderLines& results, tessary::tools::ReaderLines& notes);
    ~ReaderMessages();
    ReaderMessages(const ReaderMessages&) = delete;
    ReaderMessages& operator=(const ReaderMessages&) = delete;
};
// Results written to standard output by any thread, a line at a time; false once one
// could not be written.
bool writeOut(std::string_view lines);

void out(const std::string& line);
// The status to exit with once standard output is flushed: kError, with a note, when what
// was printed did not all reach it.
int finishOutput(int status);
void note(const std::string& line);
// Notes the message and gives kError.
int error(const std::string& message);
// A card step's failure, with the hint for a driver that takes no memory-card frames;
// gives kError.
int cardError(const CardStatus& status);
// The verification's outcome and the status to exit with: kDone when the PSC was accepted.
int reportPsc(const PscOutcome& outcome);

std::string bytesWord(std::size_t n);
std::string attemptsWord(int n);

} // namespace tessary::memcard
