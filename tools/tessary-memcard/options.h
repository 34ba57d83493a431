// tessary-memcard's command line: a command (info, read, write, diff or verify), its image
// files and its options, read with QtCore's parser, and the command run.
#pragma once

#include "card_image.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tessary::memcard {

// Exit statuses: done (diff: equal); refused or different (a wrong PSC, protected bytes,
// the last PSC attempt kept, images that differ); an error (usage, files, the PC/SC
// service, the reader or the card).
enum Exit { kDone = 0, kRefused = 1, kError = 2 };

struct Options {
    std::string command;
    std::vector<QString> files;
    std::optional<std::string> reader; // -r: a name, the beginning of one, or an index
    std::optional<CardType> card;
    std::optional<std::vector<uint8_t>> psc;
    bool dryRun = false;
    bool lastAttempt = false;
};

// Hexadecimal digits, blanks between them allowed: 123456 or "12 34 56"; nothing for any
// other text, or for more than 8 bytes.
std::optional<std::vector<uint8_t>> parsePsc(const std::string& text);

// Runs the command line (the program's name first) and gives the exit status.
int runCommandLine(const QStringList& arguments);

} // namespace tessary::memcard
