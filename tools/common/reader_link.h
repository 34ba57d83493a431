// SPDX-License-Identifier: BSD-3-Clause
// The link to a reader that both command-line programs use: the access library bound (a
// PcScLog.txt in the current directory switches its trace on), every reader the PC/SC
// service lists, and the connection to the chosen one through the access library, so that
// the trace records it. The access library lists only its first ten readers; the service
// is asked for the list directly.
#pragma once

#include "reader_choice.h"

#include <winscard.h>

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace tessary::tools {

// Every reader the service lists, in its order, with its state and card; an empty list
// when there are none; nothing, with the operator's text in `error`, when the service
// does not answer.
std::optional<std::vector<ListedReader>> listReaders(std::string& error);

class ReaderLink {
public:
    ReaderLink() = default;
    ~ReaderLink();
    ReaderLink(const ReaderLink&) = delete;
    ReaderLink& operator=(const ReaderLink&) = delete;

    // Binds the service through the access library; false with the operator's text in
    // `error`.
    bool open(std::string& error);
    // For one of several readers served at once, each from a thread of its own: the access
    // library is bound already (by a link that open() opened, which outlives this one), and
    // this link takes a context of its own from the service, so that its calls never wait
    // for another reader's. False with the operator's text in `error`.
    bool openBeside(std::string& error);
    // Lists the readers, chooses the one `wanted` means (chooseReader: a card needed unless
    // the mode is direct) and connects to it. shareMode: SCARD_SHARE_SHARED,
    // SCARD_SHARE_EXCLUSIVE or SCARD_SHARE_DIRECT, the reader's own command path.
    bool connect(const std::optional<std::string>& wanted, uint32_t shareMode, std::string& error);
    // Connects to the reader of this whole name, chosen already.
    bool connectTo(const std::string& reader, uint32_t shareMode, std::string& error);

    SCARDHANDLE card() const { return m_card; }
    uint32_t protocol() const { return m_protocol; }
    uint32_t shareMode() const { return m_shareMode; }
    const std::string& reader() const { return m_reader; }
    std::span<const uint8_t> atr() const { return {m_atr.data(), m_atrLength}; }

private:
    bool m_open = false;
    bool m_ownContext = false; // released here rather than through the access library
    SCARDCONTEXT m_context = 0;
    SCARDHANDLE m_card = 0;
    uint32_t m_protocol = 0;
    uint32_t m_shareMode = 0;
    std::string m_reader;
    std::array<uint8_t, MAX_ATR_SIZE> m_atr{};
    uint32_t m_atrLength = 0;
};

} // namespace tessary::tools
