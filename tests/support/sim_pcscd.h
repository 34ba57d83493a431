// SPDX-License-Identifier: BSD-3-Clause
// Helpers for tests that run against the private pcscd and its simulated readers: the
// card tool, the readers' shown state, and waiting for pcscd to see a change.
#pragma once

#include <winscard.h>

#include <chrono>
#include <map>
#include <string>
#include <vector>

namespace simtest {

using Bytes = std::vector<uint8_t>;

inline const std::string kContactReader = "KALDOR TR-100";
inline const std::string kContactlessReader = "KALDOR RF-9000";
inline const std::string kEmptyReader = "Generic Reader";

// Runs simreader-ctl with the arguments; returns its exit code and fills its output.
int simCtl(const std::vector<std::string>& args, std::string* output = nullptr);

// The fields `simreader-ctl status` shows for the reader with this configured name.
std::map<std::string, std::string> readerStatus(const std::string& configuredName);

// Brings the default readers back to their cards ("KALDOR TR-100" apdu, "KALDOR RF-9000"
// apdu-cl, "Generic Reader" empty), changing only what differs, and waits until pcscd
// sees them so.
void restoreDefaultCards();

// An established PC/SC context, released at the end of the scope.
class Context {
public:
    Context();
    ~Context();
    Context(const Context&) = delete;
    Context& operator=(const Context&) = delete;
    SCARDCONTEXT get() const { return m_context; }
    LONG result() const { return m_result; }

private:
    SCARDCONTEXT m_context = 0;
    LONG m_result = 0;
};

std::vector<std::string> listReaders(SCARDCONTEXT context);
// The name pcscd gives the reader configured as `configuredName`, e.g. "... 00 00".
std::string pcscName(SCARDCONTEXT context, const std::string& configuredName);

// Waits until pcscd reports the card present (or absent) in the reader; false on timeout.
bool waitForCard(SCARDCONTEXT context, const std::string& reader, bool present,
                 std::chrono::milliseconds timeout = std::chrono::seconds(5));

// The reader's state as pcscd reports it; its upper 16 bits count the reader's card events.
DWORD readerState(SCARDCONTEXT context, const std::string& reader);
// Waits until pcscd has counted a card event since `since` (a readerState) and reports the
// card present or absent. After an exchange finds a simulated card gone, pcscd reports the
// slot empty at once but counts the removal only at its next presence poll; a card put
// back before that poll stays unseen, so a test waits for the count before putting it back.
bool waitForCardEvent(SCARDCONTEXT context, const std::string& reader, DWORD since, bool present,
                      std::chrono::milliseconds timeout = std::chrono::seconds(5));

// The status word that ends a response.
uint16_t statusWord(const Bytes& response);
std::string hex(const Bytes& bytes);

} // namespace simtest
