// SPDX-License-Identifier: BSD-3-Clause
// Image files in and out: read no further than the format allows, written whole or not at
// all, and never over what is not a regular file (a device, a pipe, a folder, or a link to
// one). "-" stands for standard input or standard output.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tessary::memcard {

inline constexpr std::string_view kStandardStream = "-";

// "standard input" for "-", else the path with its control characters escaped.
std::string inputName(const std::string& path);
std::string outputName(const std::string& path);

struct TextRead {
    std::optional<std::string> text;
    std::string error; // "cannot open card.img: No such file or directory"
};
// At most `limit` bytes of the file, or of standard input for "-".
TextRead readText(const std::string& path, std::size_t limit);

// Why `path` may not be written, before anything is done for it: it names something that
// is there and is no regular file. Empty when it may be.
std::string refuseTarget(const std::string& path);

// The whole text into the file through a temporary file renamed over it, or to standard
// output for "-"; empty when written, else the message.
std::string writeText(const std::string& path, std::string_view text);

// The folder a read on several readers puts its images in, made (by itself, not its
// parents) when it is not there; empty when it is ready, else the message.
std::string prepareFolder(const std::string& path);

// The file name of a reader's image in that folder: the reader's name with every character
// but letters, digits, '.', '-' and '_' made '_', and ".img" ("KALDOR_TR-100_00_00.img").
// Names alike after that are told apart by `index` ("KALDOR_TR-100_00_00-3.img").
std::string imageFileName(const std::string& reader, std::size_t index, bool clashes);

} // namespace tessary::memcard
