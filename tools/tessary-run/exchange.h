// SPDX-License-Identifier: BSD-3-Clause
// One command of a run, with what follows its answer when asked to: on 61 xx GET RESPONSE
// (00 C0 00 00 xx) until the data is all there, and on 6C xx the command once more with
// Le = xx. The link to the reader is a function, so that this runs without one.
#pragma once

#include "script.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

namespace tessary::run {

// One request and its answer on the wire.
struct RawExchange {
    Bytes request;
    Bytes response;
    int64_t micros = 0;
    int32_t status = 0; // 0, or the failure of the exchange (a status code or a PC/SC result)
};
using Transmit = std::function<RawExchange(const Bytes& request)>;

// What a failed exchange leaves behind. NoReaderCommands: in direct mode, the reader's
// driver refused the reader-command code and offers no escape command.
enum class Loss { None, CardTakenOut, ReaderGone, ServiceGone, NoReaderCommands };

// The reader as a run sees it.
class Link {
public:
    virtual ~Link() = default;
    virtual RawExchange transmit(const Bytes& request) = 0;
    // After a failed exchange: is the card, the reader or the service gone?
    virtual Loss lossAfterFailure() = 0;
};

struct CommandOutcome {
    std::vector<RawExchange> exchanges; // one, or more after 61 xx and 6C xx
    Bytes response;                     // the data of every answer and the last status word
    int32_t status = 0;                 // that of the exchange that failed, if one did
    int64_t micros = 0;                 // of all its exchanges
};

// The most exchanges one command leads to: enough for 64 KiB in 256-byte pieces.
inline constexpr std::size_t kMaxExchangesPerCommand = 260;

CommandOutcome sendCommand(const Bytes& apdu, bool getResponse, const Transmit& transmit);

// The command with its Le set to `le`: added to a command without one, replacing the one it
// has; nothing for bytes that are no short APDU.
std::optional<Bytes> withLe(std::span<const uint8_t> apdu, uint8_t le);

} // namespace tessary::run
