// SPDX-License-Identifier: BSD-3-Clause
// The link to the reader as a run needs it: the shared reader link (bind the service,
// list and choose the reader, connect in a share mode) with the exchange, and what went
// away when an exchange fails. The access library traces every call when PcScLog.txt is
// there.
#pragma once

#include "exchange.h"
#include "reader_link.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tessary::run {

using tessary::tools::ListedReader;

// "card present", "card present, in use", "mute card", "no card", from the service's event
// state.
std::string cardStateText(uint32_t state);

class Session final : public Link {
public:
    Session();

    // Binds the service; false with the operator's text in `error`.
    bool open(std::string& error);
    // One of several readers' sessions, each in a thread of its own: a context of its own,
    // beside the service that a session's open() bound and that outlives this one.
    bool openBeside(std::string& error);
    // Every reader (none when there are none); nothing when the service does not list them.
    std::optional<std::vector<ListedReader>> readers(std::string& error);
    // Chooses the reader `wanted` means (-r) and connects: shareMode SCARD_SHARE_SHARED,
    // SCARD_SHARE_EXCLUSIVE or SCARD_SHARE_DIRECT, which sends on the reader's control path
    // and needs no card.
    bool connect(const std::optional<std::string>& wanted, uint32_t shareMode, std::string& error);
    // Connects to the reader of this whole name, chosen already.
    bool connectTo(const std::string& reader, uint32_t shareMode, std::string& error);
    // The reader connected to, its card's ATR (none in direct mode without a card) and the
    // share mode.
    const std::string& reader() const { return m_link.reader(); }
    const Bytes& atr() const { return m_atr; }
    uint32_t shareMode() const { return m_link.shareMode(); }
    RawExchange transmit(const Bytes& request) override;
    Loss lossAfterFailure() override;

private:
    void takeAtr();

    tessary::tools::ReaderLink m_link;
    bool m_noEscape = false; // the last direct send found no code the driver takes
    Bytes m_answer;          // receive room, as large as any answer
    Bytes m_atr;
};

} // namespace tessary::run
