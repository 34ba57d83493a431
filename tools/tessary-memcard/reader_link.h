// The connection to the card through the access library: which reader, and the card in it
// connected exclusively, so that no other program's frames come between ours.
#pragma once

#include <winscard.h>

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace memcardtool {

struct ListedReader {
    std::string name;
    bool card = false;
};

struct ReaderPick {
    std::string name; // empty when `error` says why none
    std::string error;
};

// With a prefix: the reader of exactly that name, or the one reader whose name begins
// with it. Without: the one reader that holds a card. Never a guess between two readers:
// a write must not go to the wrong card.
ReaderPick pickReader(const std::vector<ListedReader>& readers,
                      const std::optional<std::string>& prefix);

class CardLink {
public:
    CardLink() = default;
    ~CardLink();
    CardLink(const CardLink&) = delete;
    CardLink& operator=(const CardLink&) = delete;

    // Binds the PC/SC service, picks the reader and connects to its card; false with
    // `error` set when any step fails.
    bool open(const std::optional<std::string>& prefix, std::string& error);

    SCARDHANDLE card() const { return m_card; }
    const std::string& reader() const { return m_reader; }
    std::span<const uint8_t> atr() const { return {m_atr.data(), m_atrLength}; }

private:
    bool m_bound = false;
    SCARDCONTEXT m_context = 0;
    SCARDHANDLE m_card = 0;
    std::string m_reader;
    std::array<uint8_t, 33> m_atr{};
    uint32_t m_atrLength = 0;
};

} // namespace memcardtool
