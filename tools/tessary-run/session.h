// The link to the readers through the access library, as a run needs it: bind the service,
// list the readers, connect in a share mode, exchange, and tell what went away when an
// exchange fails. The library traces every call when PcScLog.txt is there.
#pragma once

#include "exchange.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <winscard.h>

namespace tessary::run {

struct ReaderEntry {
    std::string name;
    bool card = false;
    DWORD state = 0; // the service's event state
    Bytes atr;
};

// "card present", "card present, in use", "mute card", "no card".
std::string CardStateText(DWORD state);

class Session final : public Link {
public:
    Session();
    ~Session() override;
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Binds the service and opens a context; false with the operator's text in `error`.
    bool open(std::string& error);
    // The readers (none when there are none); nothing when the service does not list them.
    std::optional<std::vector<ReaderEntry>> readers(std::string& error);
    // shareMode: SCARD_SHARE_SHARED, SCARD_SHARE_EXCLUSIVE or SCARD_SHARE_DIRECT, which sends
    // on the reader's control path.
    bool connect(const std::string& reader, uint32_t shareMode, std::string& error);
    RawExchange transmit(const Bytes& request) override;
    Loss lossAfterFailure() override;

private:
    SCARDCONTEXT m_context = 0;
    bool m_open = false;
    SCARDHANDLE m_card = 0;
    uint32_t m_shareMode = 0;
    uint32_t m_protocol = 0;
    std::string m_reader;
    bool m_noEscape = false; // the last direct send found no code the driver takes
    Bytes m_answer; // receive room, as large as any answer
};

} // namespace tessary::run
