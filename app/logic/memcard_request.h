// SPDX-License-Identifier: BSD-3-Clause
// The memory-card pages' shared rules: the thirteen operations with their names and
// bounds, the record one press of SEND fills, the checks that turn the page's fields and
// log text into it, and the lines and status text the library's answer gives. Plain
// functions of text and bytes, so that they run without a window.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tessary {

// Tags 0 to 6 are the operations of the SLE4442/SLE4432 page, 7 to 12 those of the
// SLE4428/SLE4418 page.
inline constexpr uint16_t kMemCardOperationCount = 13;
inline constexpr uint16_t kFirstSle4428Tag = 7;

enum class MemCardInputs { None, AddressLength, Keys };
enum class MemCardResultLines { None, Data, DataAndProtect };

struct MemCardOperation {
    // The export names: [SLE4432 or SLE4418 mode][checked write]; an operation without a
    // checked variant has the plain name in both places, one without a second card type
    // the one name in both modes.
    std::array<std::array<const char*, 2>, 2> names;
    int32_t addressLow, addressHigh;
    uint32_t lengthLow, lengthHigh;
    MemCardInputs inputs;
    int keyCount; // key fields read, for MemCardInputs::Keys
    bool dataFromLog;
    MemCardResultLines resultLines;
};

// The operation of a tag; nothing for a tag outside 0..12.
const MemCardOperation* FindMemCardOperation(uint16_t tag);
bool OnSle4442Page(uint16_t tag);
// The export an operation calls: `otherType` is the page's SLE4432 or SLE4418 mode,
// `checked` the page's write check box (it counts for tags 1, 8 and 11 only).
std::string MemCardOperationName(uint16_t tag, bool otherType, bool checked);

// One press of SEND, filled from scratch.
struct MemCardRequest {
    int32_t result = 0;
    std::array<uint8_t, 1025> data{};
    std::array<uint8_t, 1025> protect{};
    std::array<char, 3078> hexText{};
    int32_t address = 0;
    uint32_t count = 0;
    uint32_t length = 0;
    std::string operationName;
    std::array<uint8_t, 3> key{};
};

// What a page holds when SEND is pressed: its fixed-width digit fields (blanks for the
// places not typed), its key fields (two characters each), and its log's whole text with
// each line break as CR LF.
struct MemCardFields {
    std::string address;
    std::string length;
    std::array<std::string, 3> keys;
    std::string log;
};

// The status text of a check or result message: the operation name and the message,
// within 255 characters.
std::string MemCardStatus(std::string_view operationName, std::string_view message);
inline constexpr const char* kParameterInvalid = "Parameter Invalid !!!";

// The bytes to write, read from the log text: byte i from the characters at 3i and
// 3i + 1, for i below `length` and below (characters + 1) / 3. Stops at a pair that is
// not two hexadecimal digits (`converted` false).
struct LogBytes {
    std::vector<uint8_t> bytes;
    bool converted = true;
};
LogBytes ParseLogBytes(std::string_view logText, uint32_t length);

// Checks the fields for the tag and fills address, count, length, data and key of the
// request (its operationName already chosen). True to go on to the library; false with
// `status` set to what the status line shows.
bool Sle18283242CheckInputEdit(uint16_t tag, const MemCardFields& fields, MemCardRequest& request,
                               std::string& status);

// After the library call (result, count, data, protect and operationName filled): the
// lines to append to the page's log, and the status text.
struct MemCardResultLog {
    std::vector<std::string> lines;
    std::string status;
};
MemCardResultLog Sle18283242CheckReturn(uint16_t tag, MemCardRequest& request);

} // namespace tessary
