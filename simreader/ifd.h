// SPDX-License-Identifier: BSD-3-Clause
// pcsc-lite's driver interface header declares the IFDH* entry points without C linkage.
#pragma once

extern "C" {
#include <PCSC/ifdhandler.h>
}
#include <PCSC/reader.h>
