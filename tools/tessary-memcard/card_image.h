// SPDX-License-Identifier: BSD-3-Clause
// A whole memory card as a text file a person can read, edit and diff: the card types,
// the image of a card's memory with its protection, and the image format's reader and
// writer. Everything here is a plain function of text and bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tessary::memcard {

enum class CardType { Sle4442, Sle4432, Sle4428, Sle4418 };

struct CardTraits {
    CardType type;
    const char* name;     // "SLE4442", as images and messages write it
    uint32_t size;        // bytes of memory
    uint32_t protectable; // bytes from address 0 that have a protection bit
    uint32_t pscBytes;    // 0 for the cards without a PSC
    bool sle4442Family;   // SLE4442 and SLE4432 share their commands, as do 4428 and 4418
};

// The SLE4428 keeps its error counter at 03FD and its PSC at 03FE..03FF, in its memory.
inline constexpr uint32_t kSle4428CounterAddress = 1021;

const CardTraits& traits(CardType type);
// "sle4442" or "SLE4442" and the like; nothing for any other text.
std::optional<CardType> cardTypeNamed(std::string_view name);
// PSC attempts a counter value leaves: one per set bit (three bits on the SLE4442).
int attemptsLeft(CardType type, uint8_t counter);

struct CardImage {
    CardType type = CardType::Sle4442;
    std::string date;               // when it was read: 2026-12-08T10:15:00Z
    std::optional<uint8_t> counter; // the SLE4442's error counter, when it was read
    std::vector<uint8_t> data;      // traits(type).size bytes
    std::vector<bool> protect;      // per byte: true when write-protected
};

// FF throughout, nothing protected, no counter.
CardImage blankImage(CardType type);

// Limits that keep a hostile file from costing more than a few hundred kilobytes: no
// valid image comes near them, and a file cut at kMaxImageFileBytes always breaks one.
inline constexpr std::size_t kMaxImageLineLength = 200;
inline constexpr std::size_t kMaxImageLines = 2000;
inline constexpr std::size_t kMaxImageFileBytes = 512 * 1024;

struct ImageError {
    std::size_t line = 0; // counting from 1
    std::string message;
};

// The image, or the first error with its line.
struct ParsedImage {
    std::optional<CardImage> image;
    ImageError error;
};

ParsedImage parseImage(std::string_view text);
std::string formatImage(const CardImage& image);

// Addresses as four hexadecimal digits, and lists of them as ranges: "0000-0003, 0010".
std::string formatAddress(uint32_t address);
std::string formatRanges(const std::vector<uint32_t>& addresses);
std::string formatByte(uint8_t byte);

// One line per difference, address by address with protection; empty when the two
// images hold the same card contents (their dates do not count).
std::vector<std::string> diffImages(const CardImage& from, const CardImage& to);

} // namespace tessary::memcard
