// SPDX-License-Identifier: BSD-3-Clause
// The files through which `simreader-ctl` and the driver inside pcscd share each reader's
// state. Every reader has a folder of its own:
//   name    the reader's configured name (written once when the readers are set up)
//   card    the card in the slot: type=..., id=... and the card's settings (tool writes,
//           driver reads); no file means an empty slot
//   status  what the reader shows: power, LEDs, buzzer, card details, the process that
//           runs the driver and the version of the card file its card reflects (driver
//           writes)
//   card.out  a card that slipped out of the reader, with its contents (driver writes)
//   driver  the driver personality the reader takes on, its name on one line (tool writes,
//           driver reads at its next control call or presence poll); no file means native
// The card, status and card.out files hold key=value lines. Every file is replaced
// atomically, so a reader of a file sees either the old or the new content, never a mix.
#pragma once

#include "cards.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <sys/types.h>

namespace simreader {

inline constexpr const char* kNameFile = "name";
inline constexpr const char* kCardFile = "card";
inline constexpr const char* kStatusFile = "status";
inline constexpr const char* kCardOutFile = "card.out"; // a card that slipped out
inline constexpr const char* kDriverFile = "driver";

// Anything larger than this is not a file of ours.
inline constexpr std::size_t kMaxStateFileSize = 64 * 1024;

// Parses key=value lines (ending in LF, CRs before it not counting); blank lines and lines
// starting with # are skipped.
std::optional<KeyValues> parseKeyValues(std::string_view text, std::string& error);
std::string formatKeyValues(const KeyValues& values);

// Reads a whole small file; nothing when it is missing, unreadable or too large.
std::optional<std::string> readSmallFile(const std::filesystem::path& path);
// Writes beside the target and renames over it.
bool writeFileAtomically(const std::filesystem::path& path, std::string_view content);

// Identity of a file's current version, to notice a replacement without reading it.
struct FileStamp {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    int64_t modifiedNs = 0;
    off_t size = 0;
    bool operator==(const FileStamp&) const = default;
};
FileStamp stampOf(const std::filesystem::path& path);
// As the status file shows it: "none" for a missing file.
std::string formatStamp(const FileStamp& stamp);

// A running process, told apart from a later one that got the same pid by its start time.
struct ProcessIdentity {
    long pid = 0;
    uint64_t started = 0; // clock ticks after boot
    bool operator==(const ProcessIdentity&) const = default;
};
ProcessIdentity thisProcess();
// The process with this pid as it runs now; nothing when there is none or it has ended (a
// zombie has ended).
std::optional<ProcessIdentity> runningProcess(long pid);

// The card a slot is told to hold.
struct CardSetting {
    CardType type = CardType::Apdu;
    uint64_t id = 0;   // new for every insertion, so a swap is seen as one
    KeyValues options; // card-specific settings
};

std::optional<CardSetting> parseCardSetting(const KeyValues& values, std::string& error);
KeyValues formatCardSetting(const CardSetting& card);

} // namespace simreader
