/* SPDX-License-Identifier: BSD-3-Clause */
/*
 * Cordrel: SLE4442/4432 and SLE4428/4418 memory cards through the reader's escape
 * channel.
 *
 * Every operation takes the card handle of a connection the caller has opened, sends
 * 13-byte escape frames with SCardControl(SCARD_CTL_CODE(2049)) and returns a PC/SC
 * result: 0, SCARD_E_INVALID_PARAMETER (an argument out of range or a null pointer, or a
 * checked write that found a protected byte; no frame of it was sent), SCARD_W_WRONG_CHV
 * (a PSC verification whose error counter did not come back full), SCARD_F_COMM_ERROR
 * (a verification, a checked write, or a protection or security read, whose read came
 * back short; the caller's bytes are then left as they were), or the result of the
 * first frame that failed, after which nothing more is sent. The library keeps no state,
 * allocates nothing and never writes past a caller's area.
 *
 * Programs bind the exports by name or by ordinal through Cordrel_Ordinals.
 */
#ifndef CORDREL_H
#define CORDREL_H

#include <stdint.h>
#include <winscard.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__)
#define CORDREL_API __attribute__((visibility("default")))
#else
#define CORDREL_API
#endif

/* The reply room every frame declares, and the escape frame's size. */
#define CORDREL_REPLY_CAPACITY 288
#define CORDREL_FRAME_SIZE 13

/*
 * Sends one frame: SCardControl(card, SCARD_CTL_CODE(2049), frame, frameLength, reply,
 * 288, ...). reply must hold 288 bytes; *count receives the bytes returned, 0 on
 * failure. reserved is ignored.
 * A driver that refuses SCARD_CTL_CODE(2049) with SCARD_E_UNSUPPORTED_FEATURE is asked for
 * its features (SCARD_CTL_CODE(3400)); when it advertises an escape command of another
 * code, the frame goes again with that code, which is remembered for this card handle
 * until it fails. On no other failure is a frame sent twice. SCARD_E_UNSUPPORTED_FEATURE
 * is returned when the driver offers no escape command.
 */
CORDREL_API LONG Kal_Mem_Direct_Control(SCARDHANDLE card, uint8_t* reply, int32_t reserved,
                                        uint32_t* count, const uint8_t* frame,
                                        uint32_t frameLength);

/* SLE4442 and SLE4432: 256 bytes of main memory; protection bits for addresses 0..31 in
 * 4 bytes (bit a & 7 of byte a >> 3, 1 = writable); SLE4442 security memory: error
 * counter (7 = full) and three PSC bytes. *count: in bytes to read, out bytes read. */
/* Reads *count bytes of main memory from address into data (out). */
CORDREL_API LONG SLE4442_Read_Main_Memory(SCARDHANDLE card, uint8_t* data, uint32_t address,
                                          uint32_t* count);
/* Writes length bytes of data (in) into main memory from address, a frame per byte. */
CORDREL_API LONG SLE4442_Update_Main_Memory(SCARDHANDLE card, const uint8_t* data, uint32_t address,
                                            uint32_t length);
/* As the update, after a protection read: refused when a byte of the range is protected. */
CORDREL_API LONG SLE4442_Update_Main_MemoryA(SCARDHANDLE card, const uint8_t* data,
                                             uint32_t address, uint32_t length);
/* Reads the 4 protection bytes into data (out). */
CORDREL_API LONG SLE4442_Read_Protection_Memory(SCARDHANDLE card, uint8_t* data);
/* Protects main-memory bytes address..address + length - 1 (below 32) for good: the card
 * does so for each byte whose value equals the one in data (in). */
CORDREL_API LONG SLE4442_Write_Protection_Memory(SCARDHANDLE card, const uint8_t* data,
                                                 uint32_t address, uint32_t length);
/* Reads the error counter's byte into data (out); the PSC bytes never leave the card. */
CORDREL_API LONG SLE4442_Read_Security_Memory(SCARDHANDLE card, uint8_t* data);
/* Writes length bytes of data (in) into the security memory from address (0 the counter,
 * 1..3 the PSC); takes effect only on a verified card. */
CORDREL_API LONG SLE4442_Update_Security_Memory(SCARDHANDLE card, const uint8_t* data,
                                                uint32_t address, uint32_t length);
/* Spends an attempt, presents the PSC bytes (low byte of each argument) and reads the
 * counter back: 0 when it is full again, SCARD_W_WRONG_CHV otherwise. */
CORDREL_API LONG SLE4442_Compare_Verification_Data(SCARDHANDLE card, uint32_t psc1, uint32_t psc2,
                                                   uint32_t psc3);
/* The SLE4432 exports: the SLE4442 operations of the same names. */
CORDREL_API LONG SLE4432_Read_Main_Memory(SCARDHANDLE card, uint8_t* data, uint32_t address,
                                          uint32_t* count);
CORDREL_API LONG SLE4432_Update_Main_Memory(SCARDHANDLE card, const uint8_t* data, uint32_t address,
                                            uint32_t length);
CORDREL_API LONG SLE4432_Update_Main_MemoryA(SCARDHANDLE card, const uint8_t* data,
                                             uint32_t address, uint32_t length);
CORDREL_API LONG SLE4432_Read_Protection_Memory(SCARDHANDLE card, uint8_t* data);
CORDREL_API LONG SLE4432_Write_Protection_Memory(SCARDHANDLE card, const uint8_t* data,
                                                 uint32_t address, uint32_t length);

/* SLE4428 and SLE4418: 1024 bytes with a protect bit each; SLE4428 error counter at 1021
 * (FF = full) and PSC at 1022..1023. Protect flags: 0 when the byte is protected. A read
 * that gets fewer bytes than asked for stops there and reports what it read. */
/* Reads *count bytes from address into data (out), in chunks of up to 256. */
CORDREL_API LONG SLE4428_Read_Data_Without_Protect_Bit(SCARDHANDLE card, uint8_t* data,
                                                       uint32_t address, uint32_t* count);
/* As the read above, with each byte's protect flag into protect (out), chunks of 128. */
CORDREL_API LONG SLE4428_Read_Data_With_Protect_Bit(SCARDHANDLE card, uint8_t* data,
                                                    uint8_t* protect, uint32_t address,
                                                    uint32_t* count);
/* Writes length bytes of data (in) from address and protects each byte written. */
CORDREL_API LONG SLE4428_Write_Data_With_Protect_Bit(SCARDHANDLE card, const uint8_t* data,
                                                     uint32_t address, uint32_t length);
/* As the write above, after reading the protect bits: refused when one is set. */
CORDREL_API LONG SLE4428_Write_Data_With_Protect_BitA(SCARDHANDLE card, const uint8_t* data,
                                                      uint32_t address, uint32_t length);
/* Writes length bytes of data (in) from address, a frame per byte. */
CORDREL_API LONG SLE4428_Write_Data_Without_Protect_Bit(SCARDHANDLE card, const uint8_t* data,
                                                        uint32_t address, uint32_t length);
/* As the write above, after reading the protect bits: refused when one is set. */
CORDREL_API LONG SLE4428_Write_Data_Without_Protect_BitA(SCARDHANDLE card, const uint8_t* data,
                                                         uint32_t address, uint32_t length);
/* Protects bytes address..address + length - 1 for good: the card does so for each byte
 * whose value equals the one in data (in). */
CORDREL_API LONG SLE4428_Write_Protect_Bit(SCARDHANDLE card, const uint8_t* data, uint32_t address,
                                           uint32_t length);
/* Spends an attempt, presents the two PSC bytes (low byte of each argument) and reads the
 * counter back: 0 when it is full again, SCARD_W_WRONG_CHV otherwise. */
CORDREL_API LONG SLE4428_PSC_Verification(SCARDHANDLE card, uint32_t psc1, uint32_t psc2);
/* The SLE4418 exports: the SLE4428 operations of the same names. */
CORDREL_API LONG SLE4418_Read_Data_Without_Protect_Bit(SCARDHANDLE card, uint8_t* data,
                                                       uint32_t address, uint32_t* count);
CORDREL_API LONG SLE4418_Read_Data_With_Protect_Bit(SCARDHANDLE card, uint8_t* data,
                                                    uint8_t* protect, uint32_t address,
                                                    uint32_t* count);
CORDREL_API LONG SLE4418_Write_Data_With_Protect_Bit(SCARDHANDLE card, const uint8_t* data,
                                                     uint32_t address, uint32_t length);
CORDREL_API LONG SLE4418_Write_Data_With_Protect_BitA(SCARDHANDLE card, const uint8_t* data,
                                                      uint32_t address, uint32_t length);
CORDREL_API LONG SLE4418_Write_Data_Without_Protect_Bit(SCARDHANDLE card, const uint8_t* data,
                                                        uint32_t address, uint32_t length);
CORDREL_API LONG SLE4418_Write_Data_Without_Protect_BitA(SCARDHANDLE card, const uint8_t* data,
                                                         uint32_t address, uint32_t length);
CORDREL_API LONG SLE4418_Write_Protect_Bit(SCARDHANDLE card, const uint8_t* data, uint32_t address,
                                           uint32_t length);

/* Card families the library does not drive: each takes its 32-bit arguments, does
 * nothing and returns 0. */
CORDREL_API LONG I2C_ClearMode(uint32_t);
CORDREL_API LONG I2C_Read_Memory(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t,
                                 uint32_t);
CORDREL_API LONG I2C_SetMode(uint32_t);
CORDREL_API LONG I2C_Write_Memory(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t);
CORDREL_API LONG SLE4404_Blow_Fuse(uint32_t);
CORDREL_API LONG SLE4404_Compare_Memory_Code(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t);
CORDREL_API LONG SLE4404_Compare_User_Code(uint32_t, uint32_t, uint32_t);
CORDREL_API LONG SLE4404_Enter_Test_Mode(uint32_t);
CORDREL_API LONG SLE4404_Erase_Memory(uint32_t, uint32_t, uint32_t);
CORDREL_API LONG SLE4404_Exit_Test_Mode(uint32_t);
CORDREL_API LONG SLE4404_Read_Memory(uint32_t, uint32_t, uint32_t, uint32_t);
CORDREL_API LONG SLE4404_Read_User_Memory(uint32_t, uint32_t, uint32_t, uint32_t);
CORDREL_API LONG SLE4404_Write_Memory(uint32_t, uint32_t, uint32_t, uint32_t);
CORDREL_API LONG SLE4404_Write_MemoryA(uint32_t, uint32_t, uint32_t, uint32_t);
CORDREL_API LONG SLE4404_Write_User_Memory(uint32_t, uint32_t, uint32_t, uint32_t);
CORDREL_API LONG SLE4404_Write_User_MemoryA(uint32_t, uint32_t, uint32_t, uint32_t);
CORDREL_API LONG SLE4406_Read_Counter_Stages(uint32_t, uint32_t);
CORDREL_API LONG SLE4406_Read_Memory(uint32_t, uint32_t, uint32_t, uint32_t);
CORDREL_API LONG SLE4406_Reload(uint32_t, uint32_t);
CORDREL_API LONG SLE4406_Write_Counter_Stage(uint32_t, uint32_t, uint32_t);
CORDREL_API LONG SLE4406_Write_Memory(uint32_t, uint32_t, uint32_t, uint32_t);
CORDREL_API LONG SLE4436_Authentication(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t);
CORDREL_API LONG SLE4436_Read_Counter_Stages(uint32_t, uint32_t);
CORDREL_API LONG SLE4436_Read_Memory(uint32_t, uint32_t, uint32_t, uint32_t);
CORDREL_API LONG SLE4436_Reload(uint32_t, uint32_t);
CORDREL_API LONG SLE4436_Verify_Transport_Code(uint32_t, uint32_t, uint32_t, uint32_t);
CORDREL_API LONG SLE4436_Write_Counter_Stage(uint32_t, uint32_t, uint32_t);
CORDREL_API LONG SLE4436_Write_Memory(uint32_t, uint32_t, uint32_t, uint32_t);
CORDREL_API LONG SLE5536_Authentication(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t);
CORDREL_API LONG SLE5536_Read_Counter_Stages(uint32_t, uint32_t);
CORDREL_API LONG SLE5536_Read_Memory(uint32_t, uint32_t, uint32_t, uint32_t);
CORDREL_API LONG SLE5536_Reload(uint32_t, uint32_t);
CORDREL_API LONG SLE5536_Verify_Transport_Code(uint32_t, uint32_t, uint32_t, uint32_t);
CORDREL_API LONG SLE5536_Write_Counter_Stage(uint32_t, uint32_t, uint32_t);
CORDREL_API LONG SLE5536_Write_Memory(uint32_t, uint32_t, uint32_t, uint32_t);

/* The binding interface: one entry per export, in ordinal order 1..64, ended by an entry
 * of ordinal 0. An address is the export's function, to be called through its own type. */
typedef struct CordrelOrdinal {
    uint32_t ordinal;
    const char* name;
    void (*address)(void);
} CordrelOrdinal;

#define CORDREL_EXPORT_COUNT 64

CORDREL_API extern const CordrelOrdinal Cordrel_Ordinals[CORDREL_EXPORT_COUNT + 1];

#ifdef __cplusplus
}
#endif

#endif /* CORDREL_H */
