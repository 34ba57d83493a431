// SPDX-License-Identifier: BSD-3-Clause
// The ordinal table: every ordinal with its name and the function behind it, the bodies
// that two names share, and the exports that do nothing.
#include "cordrel_fixture.h"

#include <dlfcn.h>

#include <set>

namespace {

using Address = void (*)(void);

Address at(uint32_t ordinal) {
    for (const CordrelOrdinal* entry = Cordrel_Ordinals; entry->ordinal != 0; ++entry) {
        if (entry->ordinal == ordinal) {
            return entry->address;
        }
    }
    return nullptr;
}

TEST(CordrelOrdinals, EveryOrdinalNamesItsExport) {
    std::set<std::string> names;
    for (uint32_t i = 0; i < CORDREL_EXPORT_COUNT; ++i) {
        const CordrelOrdinal& entry = Cordrel_Ordinals[i];
        EXPECT_EQ(entry.ordinal, i + 1);
        ASSERT_NE(entry.name, nullptr);
        names.insert(entry.name);
        // The address is the export of that name.
        EXPECT_EQ(reinterpret_cast<void*>(entry.address), ::dlsym(RTLD_DEFAULT, entry.name))
            << entry.name;
    }
    EXPECT_EQ(names.size(), 64u);
    EXPECT_EQ(Cordrel_Ordinals[CORDREL_EXPORT_COUNT].ordinal, 0u);
    EXPECT_STREQ(Cordrel_Ordinals[49].name, "SLE4442_Read_Main_Memory");
    EXPECT_STREQ(Cordrel_Ordinals[63].name, "Kal_Mem_Direct_Control");
    EXPECT_STREQ(Cordrel_Ordinals[28].name, "SLE4428_PSC_Verification");
}

TEST(CordrelOrdinals, SharedBodies) {
    // SLE4418 22..28 are SLE4428 30, 31, 32, 33, 34, 35, 36.
    const std::pair<uint32_t, uint32_t> same[] = {
        {22, 30}, {23, 31}, {24, 32}, {25, 33}, {26, 34}, {27, 35},
        {28, 36}, {37, 50}, {38, 51}, {39, 53}, {41, 56},
    };
    for (auto [a, b] : same) {
        EXPECT_EQ(at(a), at(b)) << a << " and " << b;
    }
    EXPECT_NE(at(40), at(54)); // the two checked updates are functions of their own
    std::set<Address> all;
    for (uint32_t i = 1; i <= 64; ++i) {
        all.insert(at(i));
    }
    // 64 exports: 18 shared names over 11 bodies, 35 stubs over 7.
    EXPECT_EQ(all.size(), 64u - 11u - 28u);
}

TEST_F(CordrelTest, StubsReportSuccessAndTouchNothing) {
    const uint32_t stubOrdinals[] = {1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12,
                                     13, 14, 15, 16, 17, 18, 19, 20, 21, 42, 43, 44,
                                     45, 46, 47, 48, 57, 58, 59, 60, 61, 62, 63};
    std::set<Address> bodies;
    for (uint32_t ordinal : stubOrdinals) {
        bodies.insert(at(ordinal));
    }
    EXPECT_EQ(bodies.size(), 7u);
    EXPECT_EQ(I2C_ClearMode(1), 0);
    EXPECT_EQ(I2C_Read_Memory(1, 2, 3, 4, 5, 6, 7), 0);
    EXPECT_EQ(I2C_Write_Memory(1, 2, 3, 4, 5, 6), 0);
    EXPECT_EQ(SLE4404_Compare_Memory_Code(1, 2, 3, 4, 5), 0);
    EXPECT_EQ(SLE4406_Write_Memory(1, 2, 3, 4), 0);
    EXPECT_EQ(SLE4436_Write_Counter_Stage(1, 2, 3), 0);
    EXPECT_EQ(SLE5536_Reload(1, 2), 0);
    EXPECT_EQ(SLE5536_Authentication(0xFFFFFFFF, 0, 0, 0, 0), 0);
    EXPECT_TRUE(fakepcsc::calls().empty());
}

} // namespace
