// SPDX-License-Identifier: BSD-3-Clause
#include "status_names.h"

#include "prolvak.h"

#include <array>

namespace prolvak {
namespace {

struct Named {
    int32_t code;
    const char* name;
};

#define NAMED(code)                                                                                \
    Named {                                                                                        \
        code, #code                                                                                \
    }

constexpr std::array<Named, 31> kNames{{
    NAMED(KTX_SUCCESS),
    NAMED(KTX_COMPORT_NUMBER_ERR),
    NAMED(KTX_COMPORT_INIT_ERR),
    NAMED(KTX_COMPORT_GET_COM_STATE_ERR),
    NAMED(KTX_COMPORT_SET_COM_STATE_ERR),
    NAMED(KTX_COMPORT_GET_COM_TIMEOUT_ERR),
    NAMED(KTX_COMPORT_SET_COM_TIMEOUT_ERR),
    NAMED(KTX_COMPORT_RECEIVE_ERR),
    NAMED(KTX_COMPORT_REQUEST_ERR),
    NAMED(KTX_COMPORT_TIMEOUT_ERR),
    NAMED(KTX_COMPORT_CLOSE_ERR),
    NAMED(ISP_ERASE_ERR),
    NAMED(ISP_PROGRAM_ERR),
    NAMED(ISP_PROTECT_ERR),
    NAMED(ISP_VERIFY_ERR),
    NAMED(ISP_RETURN_ERR),
    NAMED(ISP_CARD_INSERT_ERR),
    NAMED(ISP_FILE_ERROR),
    NAMED(ISP_UNKNOWN_ERR),
    NAMED(KTX_PCSC_GET_WINSCARD_DLL_ERR),
    NAMED(KTX_PCSC_SCARDESTABLISHCONTEXT_ERR),
    NAMED(KTX_PCSC_SCARDTRANSMIT_ERR),
    NAMED(KTX_PCSC_PARAMETER_ERR),
    NAMED(SCARD_FREE_MEMORY_ERR),
    NAMED(KTX_PCSC_SCARDLISTREADERS_ERR),
    NAMED(KTX_PCSC_NO_READER_FOUND_ERR),
    NAMED(KTX_PCSC_SCARDGETSTATUSCHANGE_ERR),
    NAMED(KTX_PCSC_SCARDRELEASECONTEXT_ERR),
    NAMED(KTX_PCSC_SCARDCONNECT_ERR),
    NAMED(KTX_PCSC_SCARDSTATUS_ERR),
    NAMED(KTX_PCSC_SCARDDISCONNECT_ERR),
}};

#undef NAMED

} // namespace

const char* statusName(int32_t code) {
    for (const auto& entry : kNames) {
        if (entry.code == code) {
            return entry.name;
        }
    }
    return "ISP_UNKNOWN_ERR";
}

} // namespace prolvak
