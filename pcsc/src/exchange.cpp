// SPDX-License-Identifier: BSD-3-Clause
// The APDU exchange, the pass-throughs and the checksum.
#include "binding.h"
#include "prolvak.h"
#include "trace.h"

#include <algorithm>

using namespace prolvak;

namespace {

uint32_t asPrintable(LONG result) {
    return static_cast<uint32_t>(result);
}

} // namespace

extern "C" {

PROLVAK_API int32_t PcSc_SR_WIN(SCARDHANDLE card, uint32_t protocol, uint32_t requestLength,
                                const uint8_t* request, uint32_t capacity, uint32_t* responseLength,
                                uint8_t* response) {
    (void)capacity; // the room that counts is the one in *responseLength
    PROLVAK_TRACE("%15.10f --- PcSc_SR_WIN Enter, REQReqLength = %d\r\n",
                  static_cast<int>(requestLength));
    PROLVAK_DUMP_LINE(request, request != nullptr ? requestLength : 0, "\r\n%15.10f --- \r\n");

    const SCARD_IO_REQUEST* sendRecord = nullptr;
    switch (protocol) {
    case SCARD_PROTOCOL_T0:
        sendRecord = service().t0Pci;
        PROLVAK_TRACE("%15.10f --- CardType = SCARD_PROTOCOL_T0\r\n");
        break;
    case SCARD_PROTOCOL_T1:
        sendRecord = service().t1Pci;
        PROLVAK_TRACE("%15.10f --- CardType = SCARD_PROTOCOL_T1\r\n");
        break;
    case SCARD_PROTOCOL_RAW:
        sendRecord = service().rawPci;
        PROLVAK_TRACE("%15.10f --- CardType = SCARD_PROTOCOL_RAW\r\n");
        break;
    default:
        PROLVAK_TRACE("%15.10f --- CardType = SCARD_PROTOCOL_UNDEFINED\r\n");
        break;
    }

    LONG rv = SCARD_E_INVALID_PARAMETER;
    DWORD room = 0;
    if (responseLength != nullptr && response != nullptr && realCapacity(*responseLength) &&
        (request != nullptr || requestLength == 0)) {
        room = *responseLength;
        DWORD received = room;
        rv = service().transmit(card, sendRecord, request, requestLength, nullptr, response,
                                &received);
        // Never claim more than the room the service was given.
        *responseLength = static_cast<uint32_t>(std::min(received, room));
    }
    if (rv != SCARD_S_SUCCESS) {
        traceFailure(KTX_PCSC_SCARDTRANSMIT_ERR, rv);
        return KTX_PCSC_SCARDTRANSMIT_ERR;
    }
    PROLVAK_TRACE("%15.10f --- Ktx_SCardTransmit Return KTX_SUCCESS\r\n");
    PROLVAK_DUMP_LINE(response, *responseLength, "%15.10f --- \r\n");
    return KTX_SUCCESS;
}

PROLVAK_API LONG SCardControl_WIN(SCARDHANDLE card, DWORD controlCode, LPCVOID input,
                                  DWORD inputLength, LPVOID output, DWORD outputCapacity,
                                  LPDWORD bytesReturned) {
    const LONG rv = realCapacity(outputCapacity)
                        ? service().control(card, controlCode, input, inputLength, output,
                                            outputCapacity, bytesReturned)
                        : SCARD_E_INVALID_PARAMETER;
    PROLVAK_TRACE("%15.10f --- Return Ktx_SCardControl lReturn = %Xh\r\n", asPrintable(rv));
    return rv;
}

PROLVAK_API LONG SCardGetAttrib_WIN(SCARDHANDLE card, DWORD attribute, LPBYTE value,
                                    LPDWORD valueLength) {
    const LONG rv = valueLength == nullptr || realCapacity(*valueLength)
                        ? service().getAttrib(card, attribute, value, valueLength)
                        : SCARD_E_INVALID_PARAMETER;
    PROLVAK_TRACE("%15.10f --- Return Ktx_SCardGetAttrib lReturn = %Xh\r\n", asPrintable(rv));
    return rv;
}

PROLVAK_API LONG SCardSetAttrib_WIN(SCARDHANDLE card, DWORD attribute, LPCBYTE value,
                                    DWORD valueLength) {
    const LONG rv = service().setAttrib(card, attribute, value, valueLength);
    PROLVAK_TRACE("%15.10f --- Return Ktx_SCardSetAttrib lReturn = %Xh\r\n", asPrintable(rv));
    return rv;
}

PROLVAK_API LONG SCardGetCardTypeProviderName_WIN(SCARDCONTEXT context, LPCSTR cardName,
                                                  DWORD providerId, LPSTR provider,
                                                  LPDWORD providerLength) {
    const LONG rv = providerLength == nullptr || realCapacity(*providerLength)
                        ? service().getCardTypeProviderName(context, cardName, providerId, provider,
                                                            providerLength)
                        : SCARD_E_INVALID_PARAMETER;
    PROLVAK_TRACE("%15.10f --- Return Ktx_SCardGetCardTypeProviderName lReturn = %Xh\r\n",
                  asPrintable(rv));
    return rv;
}

PROLVAK_API uint8_t CheckSum_WIN(uint32_t count, const uint8_t* bytes) {
    uint8_t sum = 0;
    if (bytes == nullptr) {
        return sum;
    }
    for (uint32_t i = 0; i < count; ++i) {
        sum = static_cast<uint8_t>(sum ^ bytes[i]);
    }
    return sum;
}

} // extern "C"
