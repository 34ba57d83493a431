#include "reader_link.h"

#include "prolvak.h"
#include "reader_features.h"
#include "status_names.h"

#include <algorithm>

namespace memcardtool {
namespace {

constexpr uint32_t kExclusive = 1;

std::string nameList(const std::vector<const ListedReader*>& readers) {
    std::string text;
    for (const auto* reader : readers) {
        text += (text.empty() ? "'" : ", '") + reader->name + "'";
    }
    return text;
}

} // namespace

ReaderPick pickReader(const std::vector<ListedReader>& readers,
                      const std::optional<std::string>& prefix) {
    if (readers.empty()) {
        return {"", "no reader found"};
    }
    std::vector<const ListedReader*> all;
    for (const auto& reader : readers) {
        all.push_back(&reader);
    }
    std::vector<const ListedReader*> chosen;
    if (prefix) {
        for (const auto& reader : readers) {
            if (reader.name == *prefix) {
                chosen = {&reader};
                break;
            }
            if (reader.name.starts_with(*prefix)) {
                chosen.push_back(&reader);
            }
        }
        if (chosen.empty()) {
            return {"", "no reader's name begins with '" + *prefix +
                            "' (readers: " + nameList(all) + ")"};
        }
        if (chosen.size() > 1) {
            return {"", "'" + *prefix + "' begins the names of several readers (" +
                            nameList(chosen) + "); give more of the name"};
        }
    } else {
        for (const auto& reader : readers) {
            if (reader.card) {
                chosen.push_back(&reader);
            }
        }
        if (chosen.empty()) {
            return {"", "no card in any reader (readers: " + nameList(all) + ")"};
        }
        if (chosen.size() > 1) {
            return {"", "there are cards in several readers (" + nameList(chosen) +
                            "); choose one with -r"};
        }
    }
    if (!chosen.front()->card) {
        return {"", "no card in '" + chosen.front()->name + "'"};
    }
    return {chosen.front()->name, ""};
}

CardLink::~CardLink() {
    if (m_card != 0) {
        CloseReader_WIN(m_card);
    }
    if (m_bound) {
        CloseLibrary_WIN(m_context);
    }
}

bool CardLink::open(const std::optional<std::string>& prefix, std::string& error) {
    const int32_t bound = InitLibrary_WIN(&m_context);
    if (bound == KTX_PCSC_GET_WINSCARD_DLL_ERR) {
        error = "cannot load the PC/SC library libpcsclite.so.1 (is pcscd installed?)";
        return false;
    }
    if (bound != KTX_SUCCESS) {
        error = pcscfeatures::refusedByAccessPolicy()
                    ? pcscfeatures::accessPolicyText()
                    : "cannot reach the PC/SC service (is pcscd running?)";
        return false;
    }
    m_bound = true;

    std::array<SlotInfo, PROLVAK_MAX_READERS> slots{};
    std::array<SCARD_READERSTATE, PROLVAK_MAX_READERS> states{};
    uint32_t count = 0;
    const int32_t listed = ListReader_WIN(m_context, slots.data(), states.data(), &count);
    if (listed == KTX_PCSC_NO_READER_FOUND_ERR) {
        error = "no reader found";
        return false;
    }
    if (listed != KTX_SUCCESS) {
        error = std::string("cannot list the readers (") + prolvak::statusName(listed) +
                "; is pcscd running?)";
        return false;
    }
    std::vector<ListedReader> readers;
    for (uint32_t i = 0; i < count && i < slots.size(); ++i) {
        readers.push_back({slots[i].szReader, slots[i].flag == 1});
    }
    const ReaderPick pick = pickReader(readers, prefix);
    if (!pick.error.empty()) {
        error = pick.error;
        return false;
    }
    m_reader = pick.name;

    uint32_t protocol = 0;
    uint32_t state = 0;
    m_atrLength = static_cast<uint32_t>(m_atr.size());
    const int32_t connected = InitReader_WIN(m_context, m_reader.c_str(), kExclusive, &m_card,
                                             &protocol, &state, m_atr.data(), &m_atrLength);
    if (connected == KTX_PCSC_SCARDCONNECT_ERR) {
        m_card = 0; // no connection, whatever the service left in the handle
    }
    if (connected != KTX_SUCCESS) {
        error = "cannot connect to the card in '" + m_reader + "' (" +
                prolvak::statusName(connected) +
                "; is the card in properly, and no other program using it?)";
        if (connected == KTX_PCSC_SCARDCONNECT_ERR &&
            pcscfeatures::refusedByAccessPolicy(m_reader)) {
            error = "cannot connect to the card in '" + m_reader +
                    "': " + pcscfeatures::accessPolicyText();
        }
        return false;
    }
    m_atrLength = std::min<uint32_t>(m_atrLength, static_cast<uint32_t>(m_atr.size()));
    return true;
}

} // namespace memcardtool
