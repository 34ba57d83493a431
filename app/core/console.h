// The APDU console's rules: hexadecimal request text to bytes, the byte count, the data
// lines of the log, and one exchange on the path the connect mode selects.
#pragma once

#include <winscard.h>
#include <reader.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tessary {

using Bytes = std::vector<uint8_t>;

// Receive room of every exchange, and the most bytes a data line shows.
inline constexpr uint32_t kMaxDataLength = 330;
// The reader's own command path: SCardControl with SCARD_CTL_CODE(3500).
inline constexpr DWORD kReaderControlCode = SCARD_CTL_CODE(3500);

// Characters in UTF-8 text: a character outside ASCII is one position, whatever the
// number of its bytes. Bytes that are not UTF-8 count one each.
std::size_t CharacterCount(std::string_view text);

// Bytes in a request text of L characters: (L + 1) / 3. Byte i is the pair at
// characters 3i and 3i + 1; the character after each pair is a separator of any kind.
int RequestByteCount(std::string_view text);

// The count bytes of the request, or the first pair that is not two hexadecimal digits,
// as "0x" and its two characters (the text the conversion error names).
struct ParsedRequest {
    Bytes bytes;
    std::optional<std::string> badPair;
};
ParsedRequest ParseRequestBytes(std::string_view text, int count);

// The prefix, then "%02X " for each of the first 330 bytes, a line feed before every
// sixteenth byte after the first row.
std::string FormatDataLine(std::string_view prefix, const uint8_t* bytes, std::size_t count);

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
