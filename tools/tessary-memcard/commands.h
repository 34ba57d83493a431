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

} // namespace tessary::memcard
