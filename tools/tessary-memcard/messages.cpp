// SPDX-License-Identifier: BSD-3-Clause
#include "messages.h"

#include "options.h"
#include "pcsc_result.h"
#include "reader_features.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace tessary::memcard {
namespace {

// The first failure to write standard output; threads write it only under their shared
// output's lock, and it is read once they are done.
int g_outputError = 0;

thread_local tessary::tools::ReaderLines* t_results = nullptr;
thread_local tessary::tools::ReaderLines* t_notes = nullptr;

} // namespace

ReaderMessages::ReaderMessages(tessary::tools::ReaderLines& results,
                               tessary::tools::ReaderLines& notes) {
    t_results = &results;
    t_notes = &notes;
}

ReaderMessages::~ReaderMessages() {
    t_results = nullptr;
    t_notes = nullptr;
}

bool writeOut(std::string_view lines) {
    if (std::fwrite(lines.data(), 1, lines.size(), stdout) != lines.size() && g_outputError == 0) {
        g_outputError = errno != 0 ? errno : EIO;
    }
    return g_outputError == 0;
}

void out(const std::string& line) {
    if (t_results != nullptr) {
        t_results->write(line + "\n");
        return;
    }
    if (std::fprintf(stdout, "%s\n", line.c_str()) < 0 && g_outputError == 0) {
        g_outputError = errno;
    }
}

int finishOutput(int status) {
    if (std::fflush(stdout) != 0 && g_outputError == 0) {
        g_outputError = errno;
    }
    if (g_outputError == 0 && std::ferror(stdout) != 0) {
        g_outputError = EIO;
    }
    if (g_outputError == 0) {
        return status;
    }
    note(std::string("cannot write standard output: ") + std::strerror(g_outputError));
    // A report that did not reach its reader is no success; a signal's status stays.
    return status == kDone || status == kRefused ? kError : status;
}

void note(const std::string& line) {
    if (t_notes != nullptr) {
        t_notes->write(std::string(kProgram) + ": " + line + "\n");
        return;
    }
    std::fprintf(stderr, "%s: %s\n", kProgram, line.c_str());
}

int error(const std::string& message) {
    note(message);
    return kError;
}

int cardError(const CardStatus& status) {
    if (!status.detail.empty()) {
        return error(status.step + " failed: " + status.detail);
    }
    // The memory-card library's word for an answer that came back short.
    const std::string what = status.code == SCARD_F_COMM_ERROR ? "the card's answer came back short"
                                                               : pcsc_stringify_error(status.code);
    if (status.code == SCARD_E_UNSUPPORTED_FEATURE) {
        note(pcscfeatures::noEscapeHint(pcscfeatures::kMemoryCardFrameCode));
    }
    return error(status.step + " failed: " + what + " (" + tessary::pcscResultText(status.code) +
                 ")");
}

std::string bytesWord(std::size_t n) {
    return std::to_string(n) + (n == 1 ? " byte" : " bytes");
}

std::string attemptsWord(int n) {
    return std::to_string(n) + (n == 1 ? " attempt" : " attempts");
}

int reportPsc(const PscOutcome& outcome) {
    switch (outcome.verdict) {
    case PscVerdict::Accepted:
        out("PSC accepted" + (outcome.attemptsAfter >= 0
                                  ? "; " + attemptsWord(outcome.attemptsAfter) + " left"
                                  : std::string()));
        return kDone;
    case PscVerdict::Wrong:
        if (outcome.attemptsAfter == 0) {
            note("wrong PSC on the last attempt: the card is locked for good");
            return kRefused;
        }
        note("wrong PSC; " +
             (outcome.attemptsAfter >= 0 ? attemptsWord(outcome.attemptsAfter)
                                         : std::string("an unknown number of attempts")) +
             " left");
        return kRefused;
    case PscVerdict::Locked:
        note("the card is locked: no PSC attempt is left; nothing was tried");
        return kRefused;
    case PscVerdict::LastAttemptKept:
        note("the card has one PSC attempt left, and a wrong PSC now locks it for good; "
             "nothing was tried (give --last-attempt to try it)");
        return kRefused;
    case PscVerdict::AlreadyTried:
        return error("a PSC was presented already in this run; nothing was tried again");
    case PscVerdict::Failed:
        break;
    }
    const int exit = cardError(outcome.status);
    if (outcome.attemptsBefore > 0) { // the counter was read: the verification itself failed
        note("the card may have spent a PSC attempt; 'info' tells how many are left");
    }
    return exit;
}

} // namespace tessary::memcard
