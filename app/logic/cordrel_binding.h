// SPDX-License-Identifier: BSD-3-Clause
// The memory-card library as the program binds it: by ordinal, from its ordinal table,
// before the window exists. The program uses ordinals 22 to 41 and 49 to 56.
#pragma once

#include "cordrel.h"

#include <array>
#include <string>

namespace tessary {

struct CordrelBindings {
    decltype(&SLE4418_Read_Data_With_Protect_Bit) readWithProtect4418 = nullptr;       // 22
    decltype(&SLE4418_Read_Data_Without_Protect_Bit) readWithoutProtect4418 = nullptr; // 23
    decltype(&SLE4418_Write_Data_With_Protect_Bit) writeWithProtect4418 = nullptr;     // 24
    decltype(&SLE4418_Write_Data_With_Protect_BitA) writeWithProtectChecked4418 = nullptr;
    decltype(&SLE4418_Write_Data_Without_Protect_Bit) writeWithoutProtect4418 = nullptr;
    decltype(&SLE4418_Write_Data_Without_Protect_BitA) writeWithoutProtectChecked4418 = nullptr;
    decltype(&SLE4418_Write_Protect_Bit) writeProtectBit4418 = nullptr; // 28
    decltype(&SLE4428_PSC_Verification) verify4428 = nullptr;           // 29
    decltype(&SLE4428_Read_Data_With_Protect_Bit) readWithProtect4428 = nullptr;
    decltype(&SLE4428_Read_Data_Without_Protect_Bit) readWithoutProtect4428 = nullptr;
    decltype(&SLE4428_Write_Data_With_Protect_Bit) writeWithProtect4428 = nullptr;
    decltype(&SLE4428_Write_Data_With_Protect_BitA) writeWithProtectChecked4428 = nullptr;
    decltype(&SLE4428_Write_Data_Without_Protect_Bit) writeWithoutProtect4428 = nullptr;
    decltype(&SLE4428_Write_Data_Without_Protect_BitA) writeWithoutProtectChecked4428 = nullptr;
    decltype(&SLE4428_Write_Protect_Bit) writeProtectBit4428 = nullptr; // 36
    decltype(&SLE4432_Read_Main_Memory) readMain4432 = nullptr;         // 37
    decltype(&SLE4432_Read_Protection_Memory) readProtection4432 = nullptr;
    decltype(&SLE4432_Update_Main_Memory) updateMain4432 = nullptr;
    decltype(&SLE4432_Update_Main_MemoryA) updateMainChecked4432 = nullptr;
    decltype(&SLE4432_Write_Protection_Memory) writeProtection4432 = nullptr; // 41
    decltype(&SLE4442_Compare_Verification_Data) verify4442 = nullptr;        // 49
    decltype(&SLE4442_Read_Main_Memory) readMain4442 = nullptr;
    decltype(&SLE4442_Read_Protection_Memory) readProtection4442 = nullptr;
    decltype(&SLE4442_Read_Security_Memory) readSecurity4442 = nullptr;
    decltype(&SLE4442_Update_Main_Memory) updateMain4442 = nullptr;
    decltype(&SLE4442_Update_Main_MemoryA) updateMainChecked4442 = nullptr;
    decltype(&SLE4442_Update_Security_Memory) updateSecurity4442 = nullptr;
    decltype(&SLE4442_Write_Protection_Memory) writeProtection4442 = nullptr; // 56
};

// Fills every binding from the table; on a missing ordinal, names it in `error` and
// gives false.
bool BindCordrel(const CordrelOrdinal* table, CordrelBindings& bindings, std::string& error);
// The bindings from the library's own ordinal table, made once; an ordinal it lacks stays
// unbound (null).
const CordrelBindings& LibraryCordrel();

} // namespace tessary
