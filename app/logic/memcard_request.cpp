// SPDX-License-Identifier: BSD-3-Clause
#include "memcard_request.h"

#include "console.h"
#include "integer_text.h"
#include "reader_features.h"

#include <algorithm>
#include <cstdio>

namespace tessary {
namespace {

using Inputs = MemCardInputs;
using Lines = MemCardResultLines;

// Names by [SLE4432 or SLE4418 mode][checked write].
constexpr std::array<std::array<const char*, 2>, 2> names(const char* name, const char* other) {
    return {{{name, name}, {other, other}}};
}
constexpr std::array<std::array<const char*, 2>, 2>
names(const char* name, const char* checked, const char* other, const char* otherChecked) {
    return {{{name, checked}, {other, otherChecked}}};
}

// The bounds of tags 2, 4, 6 and 12 are only shown: those operations take no address or
// length from the operator.
const std::array<MemCardOperation, kMemCardOperationCount> kCatalogue{{
    {names("SLE4442_Read_Main_Memory", "SLE4432_Read_Main_Memory"), 0, 255, 1, 256,
     Inputs::AddressLength, 0, false, Lines::Data},
    {names("SLE4442_Update_Main_Memory", "SLE4442_Update_Main_MemoryA",
           "SLE4432_Update_Main_Memory", "SLE4432_Update_Main_MemoryA"),
     0, 255, 1, 256, Inputs::AddressLength, 0, true, Lines::None},
    {names("SLE4442_Read_Protection_Memory", "SLE4432_Read_Protection_Memory"), 0, 3, 1, 4,
     Inputs::None, 0, false, Lines::Data},
    {names("SLE4442_Write_Protection_Memory", "SLE4432_Write_Protection_Memory"), 0, 3, 1, 4,
     Inputs::AddressLength, 0, true, Lines::None},
    // The security memory and the verification exist under SLE4442 names only.
    {names("SLE4442_Read_Security_Memory", "SLE4442_Read_Security_Memory"), 0, 3, 1, 4,
     Inputs::None, 0, false, Lines::Data},
    {names("SLE4442_Update_Security_Memory", "SLE4442_Update_Security_Memory"), 1, 3, 1, 3,
     Inputs::AddressLength, 0, true, Lines::None},
    {names("SLE4442_Compare_Verification_Data", "SLE4442_Compare_Verification_Data"), 1, 3, 1, 3,
     Inputs::Keys, 3, false, Lines::None},
    {names("SLE4428_Read_Data_Without_Protect_Bit", "SLE4418_Read_Data_Without_Protect_Bit"), 0,
     1023, 1, 1024, Inputs::AddressLength, 0, false, Lines::Data},
    {names("SLE4428_Write_Data_Without_Protect_Bit", "SLE4428_Write_Data_Without_Protect_BitA",
           "SLE4418_Write_Data_Without_Protect_Bit", "SLE4418_Write_Data_Without_Protect_BitA"),
     0, 1023, 1, 1024, Inputs::AddressLength, 0, true, Lines::None},
    {names("SLE4428_Read_Data_With_Protect_Bit", "SLE4418_Read_Data_With_Protect_Bit"), 0, 1023, 1,
     1024, Inputs::AddressLength, 0, false, Lines::DataAndProtect},
    {names("SLE4428_Write_Protect_Bit", "SLE4418_Write_Protect_Bit"), 0, 1023, 1, 1024,
     Inputs::AddressLength, 0, true, Lines::None},
    {names("SLE4428_Write_Data_With_Protect_Bit", "SLE4428_Write_Data_With_Protect_BitA",
           "SLE4418_Write_Data_With_Protect_Bit", "SLE4418_Write_Data_With_Protect_BitA"),
     0, 1023, 1, 1024, Inputs::AddressLength, 0, true, Lines::None},
    {names("SLE4428_PSC_Verification", "SLE4428_PSC_Verification"), 0, 1023, 1, 1024, Inputs::Keys,
     2, false, Lines::None},
}};

bool blank(std::string_view text) {
    return text.find_first_not_of(' ') == std::string_view::npos;
}

// "%02X " per byte into a fixed area, never past it.
template <std::size_t N, std::size_t M>
std::string hexOf(const std::array<uint8_t, N>& bytes, uint32_t count, std::array<char, M>& text) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    const std::size_t shown = std::min<std::size_t>({count, bytes.size(), (M - 1) / 3});
    for (std::size_t i = 0; i < shown; ++i) {
        text[3 * i] = kDigits[bytes[i] >> 4];
        text[3 * i + 1] = kDigits[bytes[i] & 0x0F];
        text[3 * i + 2] = ' ';
    }
    text[3 * shown] = '\0';
    return std::string(text.data(), 3 * shown);
}

} // namespace

const MemCardOperation* FindMemCardOperation(uint16_t tag) {
    return tag < kCatalogue.size() ? &kCatalogue[tag] : nullptr;
}

bool OnSle4442Page(uint16_t tag) {
    return tag < kFirstSle4428Tag;
}

std::string MemCardOperationName(uint16_t tag, bool otherType, bool checked) {
    const MemCardOperation* operation = FindMemCardOperation(tag);
    return operation == nullptr ? std::string() : operation->names[otherType][checked];
}

std::string MemCardStatus(std::string_view operationName, std::string_view message) {
    std::string text(operationName);
    text += message;
    if (text.size() > 255) {
        text.resize(255);
    }
    return text;
}

LogBytes ParseLogBytes(std::string_view logText, uint32_t length) {
    const auto pairs = static_cast<uint32_t>(RequestByteCount(logText));
    ParsedRequest parsed = ParseRequestBytes(logText, static_cast<int>(std::min(length, pairs)));
    LogBytes result;
    result.converted = !parsed.badPair.has_value();
    result.bytes = std::move(parsed.bytes);
    return result;
}

bool Sle18283242CheckInputEdit(uint16_t tag, const MemCardFields& fields, MemCardRequest& request,
                               std::string& status) {
    const MemCardOperation* operation = FindMemCardOperation(tag);
    if (operation == nullptr) {
        status = kParameterInvalid;
        return false;
    }
    const auto stop = [&](const char* message) {
        status = MemCardStatus(request.operationName, message);
        return false;
    };
    const auto notANumber = [&] {
        status = kParameterInvalid;
        return false;
    };

    if (operation->inputs == Inputs::Keys) {
        static constexpr const char* kMissing[] = {" Input First Key Parameter.",
                                                   " Input Second Key Parameter.",
                                                   " Input Third Key Parameter."};
        for (std::size_t n = 0; n < static_cast<std::size_t>(operation->keyCount); ++n) {
            if (blank(fields.keys[n])) {
                return stop(kMissing[n]);
            }
            // "0x" and the field's two characters, as an integer.
            const ParsedRequest key = ParseRequestBytes(fields.keys[n], 1);
            if (key.badPair) {
                return notANumber();
            }
            request.key[n] = key.bytes[0];
        }
        return true;
    }
    if (operation->inputs == Inputs::None) {
        return true;
    }

    // "Satrt" is the program's own spelling, which operators and their notes know: keep it.
    if (blank(fields.address)) {
        return stop(" Input Satrt Address Please");
    }
    const auto address = FieldInteger(fields.address);
    if (!address) {
        return notANumber();
    }
    if (*address < operation->addressLow || *address > operation->addressHigh) {
        return stop(" Satrt Address Invalid");
    }
    request.address = *address;
    if (blank(fields.length)) {
        return stop(" Input Data Length Please.");
    }
    const auto length = FieldInteger(fields.length);
    if (!length) {
        return notANumber();
    }
    if (*length < static_cast<int64_t>(operation->lengthLow) ||
        *length > static_cast<int64_t>(operation->lengthHigh)) {
        return stop(" Data Length Invalid");
    }
    request.length = request.count = static_cast<uint32_t>(*length);
    if (operation->dataFromLog) {
        const LogBytes parsed = ParseLogBytes(fields.log, request.length);
        if (!parsed.converted) {
            return notANumber();
        }
        // Fewer bytes in the log than the length asks for: nothing is written, rather than
        // bytes the operator never typed.
        if (parsed.bytes.size() < request.length) {
            return stop(" Data Length Invalid");
        }
        std::copy(parsed.bytes.begin(), parsed.bytes.end(), request.data.begin());
    }
    return true;
}

MemCardResultLog Sle18283242CheckReturn(uint16_t tag, MemCardRequest& request) {
    MemCardResultLog log;
    if (request.result != 0) {
        char message[32];
        std::snprintf(message, sizeof message, " Failed Return 0x%X",
                      static_cast<uint32_t>(request.result));
        log.status = MemCardStatus(request.operationName, message);
        // The memory-card library answers so only when the reader's driver took neither
        // the frames' code nor offers an escape command.
        if (static_cast<uint32_t>(request.result) ==
            static_cast<uint32_t>(SCARD_E_UNSUPPORTED_FEATURE)) {
            log.lines.push_back(
                pcscfeatures::noEscapeHintLines(pcscfeatures::kMemoryCardFrameCode));
        }
        return log;
    }
    const MemCardOperation* operation = FindMemCardOperation(tag);
    const Lines lines = operation == nullptr ? Lines::None : operation->resultLines;
    if (lines != Lines::None) {
        log.lines.emplace_back("Response Data:");
        log.lines.push_back(hexOf(request.data, request.count, request.hexText));
    }
    if (lines == Lines::DataAndProtect) {
        log.lines.emplace_back("Protect Bit:");
        log.lines.push_back(hexOf(request.protect, request.count, request.hexText));
    }
    log.status = MemCardStatus(request.operationName, " Success");
    return log;
}

} // namespace tessary
