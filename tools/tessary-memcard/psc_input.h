// SPDX-License-Identifier: BSD-3-Clause
// Where a PSC comes from besides the command line, whose arguments every user of the
// machine can read in the process list: the first line of a file or of standard input, or
// the terminal, asked with its echo off. No message ever shows the PSC or a part of it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tessary::memcard {

// Hexadecimal digits, blanks (spaces and tabs) between the bytes allowed: 123456 or
// "12 34 56"; nothing for any other text, or for more than 8 bytes.
std::optional<std::vector<uint8_t>> parsePsc(std::string_view text);

struct PscInput {
    std::optional<std::vector<uint8_t>> psc;
    std::string error; // why there is none
    int signal = 0;    // the signal that ended the prompt, 0 for none
};

// The PSC on the first line of a file's text, CR LF line ends taken.
PscInput pscFromText(std::string_view text);
// The PSC on the first line of the file, or of standard input for "-".
PscInput readPscFile(const std::string& path);
// Writes `prompt` to `output` and reads a line from the terminal `terminal` with its echo
// off; the terminal is as it was again on every way out, a signal's included.
PscInput promptPsc(int terminal, int output, std::string_view prompt);

} // namespace tessary::memcard
