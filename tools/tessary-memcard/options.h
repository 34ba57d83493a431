// SPDX-License-Identifier: BSD-3-Clause
// tessary-memcard's command line: a command (info, read, write, diff or verify), its image
// files and its options, read with QtCore's parser, and the command run.
#pragma once

#include "card_image.h"

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
    std::vector<std::string> files;    // "-": standard input, or for read standard output
    std::optional<std::string> reader; // -r: a name, the beginning of one, or an index
    std::vector<std::string> readers;  // every -r: more than one, each card in turn at once
    bool allReaders = false;           // every reader that holds a card
    std::optional<CardType> card;
    std::optional<std::vector<uint8_t>> psc; // --psc or --psc-file
    bool dryRun = false;
    bool lastAttempt = false;
    bool json = false;
    // Standard input gives an image or the PSC file: no PSC can be asked for on it.
    bool standardInputTaken = false;

    // For one reader of a run on several: the reader chosen (its whole name), reached beside
    // the service the main thread bound, and a write's image, read once for all.
    std::optional<std::string> chosenReader;
    const CardImage* sharedImage = nullptr;

    bool severalReaders() const { return allReaders || readers.size() > 1; }
};

// Runs the command line (the program's name first) and gives the exit status.
int runCommandLine(const QStringList& arguments);

} // namespace tessary::memcard
