// SPDX-License-Identifier: BSD-3-Clause
// The program's command flows, one a file, each from its options to its exit status.
#pragma once

#include "options.h"

namespace tessary::memcard {

int commandInfo(const Options& o);
int commandRead(const Options& o);
int commandWrite(const Options& o);
int commandDiff(const Options& o);
int commandVerify(const Options& o);

// A command on every reader -r or --all-readers names, each in a thread of its own: read
// into one image per reader in the folder given, write one image read once; the worst
// status of all.
int runOnReaders(const Options& o, int (*command)(const Options&));

} // namespace tessary::memcard
