// SPDX-License-Identifier: BSD-3-Clause
// The card families the library does not drive: seven functions, one for each number of
// 32-bit arguments, that report success without touching the card. Each export of these
// families is one of them under its own name.
#include "cordrel.h"

#define CORDREL_HIDDEN __attribute__((visibility("hidden")))
// GCC sees that the stubs cannot throw and wants their aliases to say so; clang reads
// nothrow as a noexcept promise, which the header's declarations do not make.
#if defined(__clang__)
#define CORDREL_ALIAS(target) __attribute__((alias(target)))
#else
#define CORDREL_ALIAS(target) __attribute__((nothrow, alias(target)))
#endif

extern "C" {

CORDREL_HIDDEN LONG cordrelStub1(uint32_t) {
    return SCARD_S_SUCCESS;
}
CORDREL_HIDDEN LONG cordrelStub2(uint32_t, uint32_t) {
    return SCARD_S_SUCCESS;
}
CORDREL_HIDDEN LONG cordrelStub3(uint32_t, uint32_t, uint32_t) {
    return SCARD_S_SUCCESS;
}
CORDREL_HIDDEN LONG cordrelStub4(uint32_t, uint32_t, uint32_t, uint32_t) {
    return SCARD_S_SUCCESS;
}
CORDREL_HIDDEN LONG cordrelStub5(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) {
    return SCARD_S_SUCCESS;
}
CORDREL_HIDDEN LONG cordrelStub6(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) {
    return SCARD_S_SUCCESS;
}
CORDREL_HIDDEN LONG cordrelStub7(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t,
                                 uint32_t) {
    return SCARD_S_SUCCESS;
}

#define STUB1(name) CORDREL_API LONG name(uint32_t) CORDREL_ALIAS("cordrelStub1")
#define STUB2(name) CORDREL_API LONG name(uint32_t, uint32_t) CORDREL_ALIAS("cordrelStub2")
#define STUB3(name)                                                                                \
    CORDREL_API LONG name(uint32_t, uint32_t, uint32_t) CORDREL_ALIAS("cordrelStub3")
#define STUB4(name)                                                                                \
    CORDREL_API LONG name(uint32_t, uint32_t, uint32_t, uint32_t) CORDREL_ALIAS("cordrelStub4")
#define STUB5(name)                                                                                \
    CORDREL_API LONG name(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t)                        \
        CORDREL_ALIAS("cordrelStub5")
#define STUB6(name)                                                                                \
    CORDREL_API LONG name(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t)              \
        CORDREL_ALIAS("cordrelStub6")
#define STUB7(name)                                                                                \
    CORDREL_API LONG name(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t)    \
        CORDREL_ALIAS("cordrelStub7")

STUB1(I2C_ClearMode);
STUB7(I2C_Read_Memory);
STUB1(I2C_SetMode);
STUB6(I2C_Write_Memory);
STUB1(SLE4404_Blow_Fuse);
STUB5(SLE4404_Compare_Memory_Code);
STUB3(SLE4404_Compare_User_Code);
STUB1(SLE4404_Enter_Test_Mode);
STUB3(SLE4404_Erase_Memory);
STUB1(SLE4404_Exit_Test_Mode);
STUB4(SLE4404_Read_Memory);
STUB4(SLE4404_Read_User_Memory);
STUB4(SLE4404_Write_Memory);
STUB4(SLE4404_Write_MemoryA);
STUB4(SLE4404_Write_User_Memory);
STUB4(SLE4404_Write_User_MemoryA);
STUB2(SLE4406_Read_Counter_Stages);
STUB4(SLE4406_Read_Memory);
STUB2(SLE4406_Reload);
STUB3(SLE4406_Write_Counter_Stage);
STUB4(SLE4406_Write_Memory);
STUB5(SLE4436_Authentication);
STUB2(SLE4436_Read_Counter_Stages);
STUB4(SLE4436_Read_Memory);
STUB2(SLE4436_Reload);
STUB4(SLE4436_Verify_Transport_Code);
STUB3(SLE4436_Write_Counter_Stage);
STUB4(SLE4436_Write_Memory);
STUB5(SLE5536_Authentication);
STUB2(SLE5536_Read_Counter_Stages);
STUB4(SLE5536_Read_Memory);
STUB2(SLE5536_Reload);
STUB4(SLE5536_Verify_Transport_Code);
STUB3(SLE5536_Write_Counter_Stage);
STUB4(SLE5536_Write_Memory);

} // extern "C"
