// The program's commands: info, read, write, diff and verify, with their options.
#pragma once

#include <QStringList>

namespace memcardtool {

// Exit statuses: done (diff: equal); refused or different (a wrong PSC, protected bytes,
// the last PSC attempt kept, images that differ); an error (usage, files, the PC/SC
// service, the reader or the card).
enum Exit { kDone = 0, kRefused = 1, kError = 2 };

// Runs the command line (the program's name first) and gives the exit status.
int runCommandLine(const QStringList& arguments);

} // namespace memcardtool
