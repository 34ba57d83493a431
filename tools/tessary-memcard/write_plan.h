// SPDX-License-Identifier: BSD-3-Clause
// What writing an image to a card takes: the bytes that differ, in runs of neighbours, and
// what may not be written. A plain function of the card as read and the image.
#pragma once

#include "card_image.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tessary::memcard {

struct WriteRun {
    uint32_t address = 0;
    std::vector<uint8_t> bytes;
};

struct WritePlan {
    std::vector<WriteRun> runs;    // the differing bytes, neighbours in one run
    std::vector<uint32_t> refused; // differing bytes the card protects: nothing may be written
    // SLE4428 error counter and PSC: an image never changes them (a PSC read without
    // verification reads 00 00, and writing that back would lock the card out).
    std::vector<uint32_t> skipped;
    // Protected in the image, writable on the card: protection is for good, and only
    // ever set on purpose, so an image does not set it.
    std::vector<uint32_t> protectionNotWritten;

    std::size_t byteCount() const;
    std::vector<uint32_t> addresses() const; // of every byte to write, rising
};

// The card as read against the image, both of one card type.
WritePlan planWrite(const CardImage& card, const CardImage& image);

// The planned bytes that `after`, the card read back, does not hold.
std::vector<uint32_t> bytesNotTaken(const WritePlan& plan, const CardImage& after);

} // namespace tessary::memcard
