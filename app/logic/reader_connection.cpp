// SPDX-License-Identifier: BSD-3-Clause
#include "reader_connection.h"

#include "console.h"
#include "reader_features.h"
#include "status_code_name.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tessary {
namespace {

// A line read as with a 127-byte buffer: up to 126 bytes, ending after the first LF.
constexpr std::size_t kNameLineRoom = 126;
constexpr uint32_t kAtrRoom = 33;

// The window's boxes stay as they are; where the service's access policy is the cause, the
// operator who started the program from a terminal reads it there.
void noteAccessPolicy(const std::string& reader = {}) {
    if (pcscfeatures::refusedByAccessPolicy(reader)) {
        std::fprintf(stderr, "tessary: %s\n", pcscfeatures::accessPolicyText().c_str());
    }
}

void fillSlot(std::array<char, 256>& slot, std::string_view name) {
    slot.fill('\0');
    std::memcpy(slot.data(), name.data(), std::min(name.size(), slot.size() - 1));
}

} // namespace

SupportedReaders MakeSupportedReaders(std::string_view extra) {
    SupportedReaders table{};
    fillSlot(table[0], "KALDOR TR-100");
    fillSlot(table[1], "KALDOR RF-9000");
    fillSlot(table[2], extra);
    return table;
}

std::string LoadExtraReaderName(const char* fileName) {
    // Only a regular file, or a link to one, names a reader: a FIFO or a device of that
    // name is never opened, and if one takes the file's place meanwhile, never waited on.
    struct stat st {};
    if (::stat(fileName, &st) != 0 || !S_ISREG(st.st_mode)) {
        return {};
    }
    const int fd = ::open(fileName, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return {};
    }
    std::FILE* file = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) ? ::fdopen(fd, "rb") : nullptr;
    if (file == nullptr) {
        ::close(fd);
        return {};
    }
    std::string line;
    int c = 0;
    while (line.size() < kNameLineRoom && (c = std::fgetc(file)) != EOF) {
        line += static_cast<char>(c);
        if (c == '\n') {
            break;
        }
    }
    std::fclose(file);
    // The name ends at a CR or LF among the last two characters read.
    if (line.size() >= 2 && (line[line.size() - 2] == '\r' || line[line.size() - 2] == '\n')) {
        line.resize(line.size() - 2);
    } else if (!line.empty() && (line.back() == '\r' || line.back() == '\n')) {
        line.pop_back();
    }
    return line;
}

bool IsSupportedReader(std::string_view text, const SupportedReaders& table) {
    for (const auto& slot : table) {
        const std::string_view name(slot.data(), strnlen(slot.data(), slot.size()));
        if (!name.empty() && text.starts_with(name)) {
            return true;
        }
    }
    return false;
}

uint32_t GetShareMode(int selectedIndex) {
    switch (selectedIndex) {
    case 0:
        return SCARD_SHARE_SHARED;
    case 2:
        return SCARD_SHARE_DIRECT;
    default:
        return SCARD_SHARE_EXCLUSIVE;
    }
}

std::string FormatAtrLine(const uint8_t* atr, uint32_t length) {
    std::string line = "ATR: ";
    char pair[4];
    for (uint32_t i = 0; i < length && atr != nullptr; ++i) {
        std::snprintf(pair, sizeof pair, "%02X ", atr[i]);
        line += pair;
    }
    return line;
}

bool ServiceGone(LONG result) {
    // Compared in 32 bits: the codes reach the window in 32-bit variables.
    const auto code = static_cast<uint32_t>(result);
    return code == static_cast<uint32_t>(SCARD_E_NO_SERVICE) ||
           code == static_cast<uint32_t>(SCARD_E_SERVICE_STOPPED);
}

bool ServiceGoneStatus(int32_t status) {
    switch (status) {
    case KTX_PCSC_GET_WINSCARD_DLL_ERR:
    case KTX_PCSC_SCARDESTABLISHCONTEXT_ERR:
    // A listing fails, other than for want of readers, only on a context the service no
    // longer serves.
    case KTX_PCSC_SCARDLISTREADERS_ERR:
    case KTX_PCSC_SCARDGETSTATUSCHANGE_ERR:
    // pcscd refuses to disconnect only a handle it no longer knows.
    case KTX_PCSC_SCARDDISCONNECT_ERR:
        return true;
    default:
        return false;
    }
}

bool KeepTraceFile(const char* trace, const char* kept) {
    struct stat st {};
    if (::lstat(trace, &st) != 0 || !S_ISREG(st.st_mode) || ::rename(trace, kept) != 0) {
        return false;
    }
    const int fd = ::open(trace, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd >= 0) {
        ::close(fd);
    }
    return true;
}

void ReaderConnection::showStatusName(int32_t status) {
    m_view.showMessage(StatusCodeName(status, m_messageText.data()));
}

void ReaderConnection::noteCallResult(LONG result) {
    if (ServiceGone(result)) {
        m_serviceGone = true;
    }
}

int32_t ReaderConnection::startLibrary() {
    const int32_t status = InitLibrary_WIN(&m_context);
    m_libraryStarted = status == KTX_SUCCESS;
    m_serviceGone = !m_libraryStarted;
    return status;
}

void ReaderConnection::restartLibrary() {
    // The connection and the context ended with the service. Releasing the context fails
    // then, but frees what the client library still holds for them; it closes the trace.
    CloseLibrary_WIN(m_context);
    m_card = 0;
    m_context = 0;
    // The trace of the cycle that failed is kept; one whose start already failed holds
    // nothing worth keeping, and retries while the service is away replace it.
    if (m_libraryStarted) {
        KeepTraceFile(kTraceFile, kKeptTraceFile);
    }
    startLibrary();
}

bool ReaderConnection::contextServed() {
    std::array<SlotInfo, PROLVAK_MAX_READERS> slots{};
    std::array<SCARD_READERSTATE, PROLVAK_MAX_READERS> states{};
    uint32_t count = 0;
    return !ServiceGoneStatus(ListReader_WIN(m_context, slots.data(), states.data(), &count));
}

const char* ReaderConnection::chosenReader() const {
    const int index = m_view.readerIndex();
    return index >= 0 && static_cast<uint32_t>(index) < m_readerCount
               ? m_readers[static_cast<std::size_t>(index)].szReader
               : "";
}

int32_t ReaderConnection::connect(uint32_t shareMode) {
    m_atrLength = kAtrRoom;
    return InitReader_WIN(m_context, chosenReader(), shareMode, &m_card, &m_activeProtocol,
                          &m_cardState, m_atr.data(), &m_atrLength);
}

void ReaderConnection::FormCreate() {
    const int32_t status = startLibrary();
    if (status != KTX_SUCCESS) {
        if (status == KTX_PCSC_SCARDESTABLISHCONTEXT_ERR) {
            noteAccessPolicy();
        }
        showStatusName(status);
    }
    m_view.hideMemoryCardTabs();
    m_view.showPanels();
    m_view.setMaxLengthCaption(std::to_string(kMaxDataLength));
}

void ReaderConnection::ReaderDetectFunc() {
    // A context made while the service was away never works: each try starts afresh.
    if (m_serviceGone) {
        restartLibrary();
    }
    const int32_t status =
        ListReader_WIN(m_context, m_readers.data(), m_states.data(), &m_readerCount);
    if (status != KTX_SUCCESS) {
        m_serviceGone = m_serviceGone || ServiceGoneStatus(status);
        m_view.setStatus("Can not Found Smartcard Reader.");
        return;
    }
    // The reader list is built once per run.
    m_view.setReaderDetectTimer(false);
    for (uint32_t i = 0; i < m_readerCount && i < m_readers.size(); ++i) {
        m_view.appendReader(m_readers[i].szReader);
    }
    m_view.setStatus("Select Reader To Start Please.");
}

void ReaderConnection::ReaderComboBoxChange() {
    if (m_view.readerIndex() == -1) {
        return;
    }
    // Built afresh at every change, so that an edited file counts at once.
    const SupportedReaders table = MakeSupportedReaders(LoadExtraReaderName(kReaderNameFile));
    if (!IsSupportedReader(m_view.readerText(), table)) {
        m_view.setStatus("The Reader is not support, select another please !!!");
        return;
    }
    m_view.clearLog();
    UnlinkReader();
    if (m_view.cardDetectTicked()) {
        m_view.setCardDetectTimer(true);
        return;
    }
    LinkReader();
}

void ReaderConnection::LinkReader() {
    const uint32_t shareMode = GetShareMode(m_view.connectModeIndex());
    if (m_serviceGone) {
        restartLibrary();
    }
    UnlinkReader();
    int32_t status = connect(shareMode);
    // A failed connect does not say why. Outside the distance test's quick attempts, a
    // listing tells whether the service went away since the last call; if it did, the
    // library starts again and the connect is tried once more.
    if (status != KTX_SUCCESS && !m_view.cardDetectTicked() && !contextServed()) {
        restartLibrary();
        status = connect(shareMode);
    }
    if (status != KTX_SUCCESS) {
        if (m_view.cardDetectTicked()) {
            m_view.setStatus("Card Detecting...");
            m_view.clearLog();
        } else {
            if (status == KTX_PCSC_SCARDCONNECT_ERR) {
                noteAccessPolicy(chosenReader());
            }
            m_view.setStatus(
                "Initial Reader Failed. Select reader again and check the smartcard is inserted.");
        }
        return;
    }
    m_view.setStatus("Initial Reader Successed"); // the program's own spelling: keep it
    m_view.insertLogLineAtTop(
        FormatAtrLine(m_atr.data(), std::min<uint32_t>(m_atrLength, kAtrRoom)));
    m_view.showPanels();
}

void ReaderConnection::UnlinkReader() {
    // A connection of a service known gone is not closed: it ended with the service, and
    // the library's next start releases what is left of it.
    if (m_card == 0 || m_serviceGone) {
        return;
    }
    const int32_t status = CloseReader_WIN(m_card);
    if (status != KTX_SUCCESS) {
        m_serviceGone = m_serviceGone || ServiceGoneStatus(status);
        showStatusName(status);
        return;
    }
    m_card = 0;
}

void ReaderConnection::FormClose() {
    UnlinkReader();
    if (m_serviceGone) {
        m_card = 0; // released with the context below
    }
    if (m_context == 0) {
        return;
    }
    const int32_t status = CloseLibrary_WIN(m_context);
    if (status != KTX_SUCCESS) {
        showStatusName(status);
        return;
    }
    m_context = 0;
}

} // namespace tessary
