// SPDX-License-Identifier: BSD-3-Clause
#include "status_code_name.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

std::string nameOf(int32_t code) {
    char buffer[35];
    EXPECT_EQ(tessary::StatusCodeName(code, buffer), buffer);
    return buffer;
}

TEST(StatusCodeName, TheWholeTableAndItsNeighbours) {
    const std::pair<int32_t, const char*> table[] = {
        {0, "KTX_SUCCESS"},
        {0x0A41, "KTX_COMPORT_NUMBER_ERR"},
        {0x0A42, "KTX_COMPORT_INIT_ERR"},
        {0x0A43, "KTX_COMPORT_GET_COM_STATE_ERR"},
        {0x0A44, "KTX_COMPORT_SET_COM_STATE_ERR"},
        {0x0A45, "KTX_COMPORT_GET_COM_TIMEOUT_ERR"},
        {0x0A46, "KTX_COMPORT_SET_COM_TIMEOUT_ERR"},
        {0x0A47, "KTX_COMPORT_RECEIVE_ERR"},
        {0x0A48, "KTX_COMPORT_REQUEST_ERR"},
        {0x0A49, "KTX_COMPORT_TIMEOUT_ERR"},
        {0x0A4A, "KTX_COMPORT_CLOSE_ERR"},
        {0x0A70, "ISP_ERASE_ERR"},
        {0x0A71, "ISP_PROGRAM_ERR"},
        {0x0A72, "ISP_PROTECT_ERR"},
        {0x0A73, "ISP_VERIFY_ERR"},
        {0x0A74, "ISP_RETURN_ERR"},
        {0x0A75, "ISP_CARD_INSERT_ERR"},
        {0x0A76, "ISP_FILE_ERROR"},
        {0x0A7F, "ISP_UNKNOWN_ERR"},
        {2720, "KTX_PCSC_GET_WINSCARD_DLL_ERR"},
        {2721, "KTX_PCSC_SCARDESTABLISHCONTEXT_ERR"},
        {2729, "KTX_PCSC_SCARDTRANSMIT_ERR"},
        {2730, "KTX_PCSC_PARAMETER_ERR"},
        {2731, "SCARD_FREE_MEMORY_ERR"},
        {43682, "KTX_PCSC_SCARDLISTREADERS_ERR"},
        {43683, "KTX_PCSC_NO_READER_FOUND_ERR"},
        {43684, "KTX_PCSC_SCARDGETSTATUSCHANGE_ERR"},
        {43685, "KTX_PCSC_SCARDRELEASECONTEXT_ERR"},
        {43686, "KTX_PCSC_SCARDCONNECT_ERR"},
        {43687, "KTX_PCSC_SCARDSTATUS_ERR"},
        {43688, "KTX_PCSC_SCARDDISCONNECT_ERR"},
    };
    for (const auto& [code, name] : table) {
        EXPECT_EQ(nameOf(code), name) << code;
        EXPECT_LT(std::strlen(name), 35u);
        // The neighbours on both sides are not in the table unless they are rows too.
        for (int32_t neighbour : {code - 1, code + 1}) {
            const bool isRow = std::any_of(std::begin(table), std::end(table),
                                           [&](auto& row) { return row.first == neighbour; });
            if (!isRow) {
                EXPECT_EQ(nameOf(neighbour), "ISP_UNKNOWN_ERR") << neighbour;
            }
        }
    }
    // The list-readers code is 0xAAA2, not 0x0AA2; raw PC/SC results are unknown.
    for (int32_t other : {0x0AA2, 0x0AA8, -1, static_cast<int32_t>(0x80100069), INT32_MIN}) {
        EXPECT_EQ(nameOf(other), "ISP_UNKNOWN_ERR") << other;
    }
}

} // namespace
