// SPDX-License-Identifier: BSD-3-Clause
// The APDU console's exchange: one send on the path the connect mode selects, with the
// data lines of the log. The request text's rules are shared with the tools.
#pragma once

#include "reader_features.h"
#include "request_text.h"

#include <reader.h>
#include <winscard.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tessary {

using pcscfeatures::kReaderControlCode;

// One exchange: the send line, the status (a status code of the access library, or the
// platform's result on the control path) and the receive line.
struct Exchange {
    int32_t status = 0;
    std::string sendLine;
    std::string receiveLine;
    // For the data log, when the reader's driver takes neither the reader command's code
    // nor offers an escape command: what the operator can do about it.
    std::optional<std::string> hint;
};
// shareMode 3 ("Direct") sends to the reader's control path, any other to the card under
// the connection's active protocol.
Exchange TransmitWithLog(SCARDHANDLE card, uint32_t activeProtocol, uint32_t shareMode,
                         const Bytes& request);

// The status line after an exchange: "Send Data Success", or for a failed one
// "Send Data Failed Return 0x" and the code in upper-case hexadecimal.
std::string ExchangeOutcome(int32_t status);

} // namespace tessary
