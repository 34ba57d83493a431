/* SPDX-License-Identifier: BSD-3-Clause */
/*
 * Prolvak: access to the platform's PC/SC service.
 *
 * The library loads the PC/SC service at run time (InitLibrary_WIN), lists readers with
 * their card presence, connects in shared, exclusive or direct mode, exchanges APDUs and
 * passes control codes and attributes through. When a regular file (not a link) named
 * PcScLog.txt is in the current directory at InitLibrary_WIN, every call writes timed lines
 * to it.
 *
 * The connection calls and PcSc_SR_WIN return one of the status codes below; the PC/SC
 * service's own result reaches only the trace. The pass-through calls return the
 * service's result unchanged. No call allocates memory for its caller or keeps a copy of
 * the caller's context or card handle.
 *
 * Capacities (lengths that hold a buffer's room on entry) are the buffers' real sizes in
 * bytes. 0xFFFFFFFF (SCARD_AUTOALLOCATE as a 32-bit value) and pcsc-lite's own
 * SCARD_AUTOALLOCATE are refused with the call's failure code before the service is
 * reached: the library never has the service allocate for its caller.
 *
 * Calls may come from several threads, also while one of them closes or restarts the
 * library; each trace line is written whole, and lines of different threads interleave.
 */
#ifndef PROLVAK_H
#define PROLVAK_H

#include <stdint.h>
#include <winscard.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__)
#define PROLVAK_API __attribute__((visibility("default")))
#else
#define PROLVAK_API
#endif

/* Status codes. Codes marked "named only" are known to the name table but returned by no
 * call. Any other value prints as ISP_UNKNOWN_ERR. */
#define KTX_SUCCESS ((int32_t)0x0000)
#define KTX_COMPORT_NUMBER_ERR ((int32_t)0x0A41)          /* named only */
#define KTX_COMPORT_INIT_ERR ((int32_t)0x0A42)            /* named only */
#define KTX_COMPORT_GET_COM_STATE_ERR ((int32_t)0x0A43)   /* named only */
#define KTX_COMPORT_SET_COM_STATE_ERR ((int32_t)0x0A44)   /* named only */
#define KTX_COMPORT_GET_COM_TIMEOUT_ERR ((int32_t)0x0A45) /* named only */
#define KTX_COMPORT_SET_COM_TIMEOUT_ERR ((int32_t)0x0A46) /* named only */
#define KTX_COMPORT_RECEIVE_ERR ((int32_t)0x0A47)         /* named only */
#define KTX_COMPORT_REQUEST_ERR ((int32_t)0x0A48)         /* named only */
#define KTX_COMPORT_TIMEOUT_ERR ((int32_t)0x0A49)         /* named only */
#define KTX_COMPORT_CLOSE_ERR ((int32_t)0x0A4A)           /* named only */
#define ISP_ERASE_ERR ((int32_t)0x0A70)                   /* named only */
#define ISP_PROGRAM_ERR ((int32_t)0x0A71)                 /* named only */
#define ISP_PROTECT_ERR ((int32_t)0x0A72)                 /* named only */
#define ISP_VERIFY_ERR ((int32_t)0x0A73)                  /* named only */
#define ISP_RETURN_ERR ((int32_t)0x0A74)                  /* named only */
#define ISP_CARD_INSERT_ERR ((int32_t)0x0A75)             /* named only */
#define ISP_FILE_ERROR ((int32_t)0x0A76)                  /* named only */
#define ISP_UNKNOWN_ERR ((int32_t)0x0A7F)                 /* named only */
#define KTX_PCSC_GET_WINSCARD_DLL_ERR ((int32_t)0x0AA0)
#define KTX_PCSC_SCARDESTABLISHCONTEXT_ERR ((int32_t)0x0AA1)
#define KTX_PCSC_SCARDTRANSMIT_ERR ((int32_t)0x0AA9)
#define KTX_PCSC_PARAMETER_ERR ((int32_t)0x0AAA) /* named only */
#define SCARD_FREE_MEMORY_ERR ((int32_t)0x0AAB)
/* Four hexadecimal digits, unlike their neighbours. */
#define KTX_PCSC_SCARDLISTREADERS_ERR ((int32_t)0xAAA2)
#define KTX_PCSC_NO_READER_FOUND_ERR ((int32_t)0xAAA3)
#define KTX_PCSC_SCARDGETSTATUSCHANGE_ERR ((int32_t)0xAAA4)
#define KTX_PCSC_SCARDRELEASECONTEXT_ERR ((int32_t)0xAAA5)
#define KTX_PCSC_SCARDCONNECT_ERR ((int32_t)0xAAA6)
#define KTX_PCSC_SCARDSTATUS_ERR ((int32_t)0xAAA7)
#define KTX_PCSC_SCARDDISCONNECT_ERR ((int32_t)0xAAA8)

/* At most this many readers are listed; the caller's arrays hold this many records. */
#define PROLVAK_MAX_READERS 10

/* One listed reader. */
typedef struct SlotInfo {
    char slotDescription[128]; /* the name's words after its first blank (two at most) */
    char manufacturerID[128];  /* the name up to its first blank */
    char szReader[256];        /* the whole name, cut to 255 characters */
    int32_t flag;              /* 1: a card is present; 0: none */
} SlotInfo;

/*
 * Stopwatch over a steady counter. flag 1: reads the counter into *start and returns 0.0;
 * any other flag: reads it into *now and returns (*now - *start) in seconds. A null
 * pointer that the flag needs gives 0.0 and nothing is written.
 */
PROLVAK_API double Quorin_Time(int64_t* start, int64_t* now, int32_t flag);

/*
 * Starts the trace when PcScLog.txt exists, loads the PC/SC service and establishes a
 * context into *context.
 * Returns KTX_SUCCESS, KTX_PCSC_GET_WINSCARD_DLL_ERR or KTX_PCSC_SCARDESTABLISHCONTEXT_ERR
 * (also for a null context pointer).
 */
PROLVAK_API int32_t InitLibrary_WIN(SCARDCONTEXT* context);

/*
 * Lists up to PROLVAK_MAX_READERS readers into slots[] and states[] (both of that many
 * records, caller's) with their card presence; *count receives their number.
 * Returns KTX_SUCCESS, KTX_PCSC_NO_READER_FOUND_ERR, KTX_PCSC_SCARDLISTREADERS_ERR (also
 * for a null argument or an unbound service), KTX_PCSC_SCARDGETSTATUSCHANGE_ERR or
 * SCARD_FREE_MEMORY_ERR. The states' szReader pointers are not valid after the call.
 */
PROLVAK_API int32_t ListReader_WIN(SCARDCONTEXT context, SlotInfo* slots, SCARD_READERSTATE* states,
                                   uint32_t* count);

/*
 * Status of a connected card: reader names into names (*namesLength: in capacity, out
 * length), protocol, card state (the platform's bit mask), ATR into atr (*atrLength: in
 * capacity, out length). A pulled-out card still gives KTX_SUCCESS.
 * Returns KTX_SUCCESS or KTX_PCSC_SCARDSTATUS_ERR (also for a null argument or a capacity
 * of 0xFFFFFFFF).
 */
PROLVAK_API int32_t GetCardStatus_WIN(SCARDHANDLE card, char* names, uint32_t* namesLength,
                                      uint32_t* protocol, uint32_t* state, uint8_t* atr,
                                      uint32_t* atrLength);

/*
 * Connects to the named reader: shareMode 1 exclusive, 2 shared (both offering T=0 and
 * T=1), 3 direct. Writes the card handle, the active protocol, the card state and the
 * ATR (*atrLength: in capacity, out length); an 8-byte ATR 3B 64 00 00 xx xx xx xx comes
 * back as its last four bytes.
 * Returns KTX_SUCCESS, KTX_PCSC_SCARDCONNECT_ERR (also, without connecting, for a null
 * argument or an ATR capacity of 0xFFFFFFFF) or KTX_PCSC_SCARDSTATUS_ERR, after which the
 * connection stays open.
 */
PROLVAK_API int32_t InitReader_WIN(SCARDCONTEXT context, const char* readerName, uint32_t shareMode,
                                   SCARDHANDLE* card, uint32_t* protocol, uint32_t* state,
                                   uint8_t* atr, uint32_t* atrLength);

/* Disconnects, leaving the card as it is. Returns KTX_SUCCESS or
 * KTX_PCSC_SCARDDISCONNECT_ERR. */
PROLVAK_API int32_t CloseReader_WIN(SCARDHANDLE card);

/* Closes the trace and releases the context. Returns KTX_SUCCESS or
 * KTX_PCSC_SCARDRELEASECONTEXT_ERR. */
PROLVAK_API int32_t CloseLibrary_WIN(SCARDCONTEXT context);

/*
 * Sends one APDU under the send record of protocol (1 T=0, 2 T=1, 0x10000 raw, any other
 * none). *responseLength holds the response room on entry and the bytes received on
 * return; capacity is not used.
 * Returns KTX_SUCCESS or KTX_PCSC_SCARDTRANSMIT_ERR (also for a null output or a room of
 * 0xFFFFFFFF).
 */
PROLVAK_API int32_t PcSc_SR_WIN(SCARDHANDLE card, uint32_t protocol, uint32_t requestLength,
                                const uint8_t* request, uint32_t capacity, uint32_t* responseLength,
                                uint8_t* response);

/*
 * Pass-throughs: the PC/SC function of the same name with the same arguments; the result
 * is the service's own. SCARD_E_NO_SERVICE while no service is bound,
 * SCARD_E_UNSUPPORTED_FEATURE when the service lacks the function (pcsc-lite has no
 * SCardGetCardTypeProviderName), SCARD_E_INVALID_PARAMETER without a call for a capacity
 * (outputCapacity, *valueLength, *providerLength) of 0xFFFFFFFF or SCARD_AUTOALLOCATE.
 */
PROLVAK_API LONG SCardControl_WIN(SCARDHANDLE card, DWORD controlCode, LPCVOID input,
                                  DWORD inputLength, LPVOID output, DWORD outputCapacity,
                                  LPDWORD bytesReturned);
PROLVAK_API LONG SCardGetAttrib_WIN(SCARDHANDLE card, DWORD attribute, LPBYTE value,
                                    LPDWORD valueLength);
PROLVAK_API LONG SCardSetAttrib_WIN(SCARDHANDLE card, DWORD attribute, LPCBYTE value,
                                    DWORD valueLength);
PROLVAK_API LONG SCardGetCardTypeProviderName_WIN(SCARDCONTEXT context, LPCSTR cardName,
                                                  DWORD providerId, LPSTR provider,
                                                  LPDWORD providerLength);

/* XOR of the count bytes; 0 for none. */
PROLVAK_API uint8_t CheckSum_WIN(uint32_t count, const uint8_t* bytes);

#ifdef __cplusplus
}
#endif

#endif /* PROLVAK_H */
