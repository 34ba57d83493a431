// SPDX-License-Identifier: BSD-3-Clause
// The output of one run on several readers at once: every reader's thread writes through
// its own ReaderLines, which hands on whole lines only, each named by its reader, so that
// lines of different readers follow each other but never mix. A summary over all readers
// closes the run.
#pragma once

#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace tessary::tools {

// One stream that several threads write whole blocks of lines to.
class SharedOutput {
public:
    // `write` takes the text and gives false once it can no longer be written.
    explicit SharedOutput(std::function<bool(std::string_view)> write);
    bool write(std::string_view lines);

private:
    std::mutex m_mutex;
    std::function<bool(std::string_view)> m_write;
};

// A reader's lines: text is kept until its line ends; every line ended is then changed by
// `mark` (a label in front, a field added) and all of one call's lines go out together.
class ReaderLines {
public:
    using Mark = std::function<std::string(std::string_view line)>;
    ReaderLines(SharedOutput& output, Mark mark);
    ~ReaderLines();
    ReaderLines(const ReaderLines&) = delete;
    ReaderLines& operator=(const ReaderLines&) = delete;

    // False once the output can no longer be written.
    bool write(std::string_view text);
    // A last line left without its end goes out ended.
    bool finish();

private:
    SharedOutput& m_output;
    Mark m_mark;
    std::string m_pending;
};

// The label and a blank in front of the line.
ReaderLines::Mark labelLines(std::string label);
// A JSON object's line with the reader's name ("reader") and index ("reader_index") added;
// a line that is no JSON object is labelled as text is.
ReaderLines::Mark labelJsonLines(std::size_t index, std::string name);

// Exit statuses: the worse of two, 0 < 1 < 2 < a signal's (128 and its number).
int worseStatus(int a, int b);

// What came of one reader's run, for the summary over all.
struct ReaderOutcome {
    std::size_t index = 0;
    std::string name;
    int status = 0;
};

// The words a tool's summary gives statuses 0, 1 and 2 ("passed", "failed", "errors"), also
// the summary's JSON keys.
struct OutcomeWords {
    const char* done;
    const char* refused;
    const char* failed;
};

// "16 readers: 15 passed, 1 failed, 0 errors; exit status 1", then a line per reader
// that did not end with 0.
std::string formatOutcomesText(const std::vector<ReaderOutcome>& outcomes,
                               const OutcomeWords& words);
// One JSON object of type "readers" with the counts, the status and every reader's own.
std::string formatOutcomesJson(const std::vector<ReaderOutcome>& outcomes,
                               const OutcomeWords& words);

// Runs `run` for each of `count` readers, each in a thread of its own, and gives their
// statuses in the same order once all have ended; a run that throws counts as 2.
std::vector<int> runOnEach(std::size_t count, const std::function<int(std::size_t)>& run);

} // namespace tessary::tools
