// SPDX-License-Identifier: BSD-3-Clause
#include "memory_cards.h"

#include <PCSC/pcsclite.h>

#include <algorithm>
#include <charconv>
#include <cstdio>

namespace simreader {
namespace {

// Offsets in the escape frame.
constexpr std::size_t kOffMessageType = 0; // bMessageType: PC_to_RDR_XfrBlock
constexpr std::size_t kOffLength = 1;      // dwLength, little-endian: always 3
constexpr std::size_t kOffSlot = 5;        // bSlot: the reader has one
constexpr std::size_t kOffLevel = 8;       // wLevelParameter, little-endian
constexpr std::size_t kOffCommand = 10;
constexpr std::size_t kOffAddress = 11;
constexpr std::size_t kOffData = 12;

// Answers to reset, wrapped by the reader into a short ISO form: TS 3B, T0 64 (TB1 and
// TC1 follow, four historical bytes), TB1 00, TC1 00, then the card's own four bytes.
constexpr std::array<uint8_t, 8> kSle4442Atr{0x3B, 0x64, 0x00, 0x00, 0xA2, 0x13, 0x10, 0x91};
constexpr std::array<uint8_t, 8> kSle4428Atr{0x3B, 0x64, 0x00, 0x00, 0x92, 0x23, 0x10, 0x91};
// The short form some readers give instead: TS 3B, T0 04 (no interface bytes, four
// historical bytes), then the card's own four bytes.
constexpr std::array<uint8_t, 6> kSle4442ShortAtr{0x3B, 0x04, 0xA2, 0x13, 0x10, 0x91};
constexpr std::array<uint8_t, 6> kSle4428ShortAtr{0x3B, 0x04, 0x92, 0x23, 0x10, 0x91};

const char* atrStyle(bool shortAtr) {
    return shortAtr ? "short" : "long";
}

// The card command codes are written out here again rather than taken from the memory-card
// library: the simulated cards are an independent oracle for that library, and a wrong code
// there must fail against them, not be shared by both.
// SLE4442 / SLE4432 commands.
constexpr uint8_t kReadMain = 0x30;
constexpr uint8_t kUpdateMain = 0x38;
constexpr uint8_t kReadProtection = 0x34;
constexpr uint8_t kWriteProtection = 0x3C;
constexpr uint8_t kReadSecurity = 0x31;
constexpr uint8_t kUpdateSecurity = 0x39;
constexpr uint8_t kCompare = 0x33;

// SLE4428 / SLE4418 commands, in bits 5..0; bits 7..6 carry address bits 9..8.
constexpr uint8_t kReadData = 0x0E;
constexpr uint8_t kReadWithProtect = 0x0C;
constexpr uint8_t kWriteWithProtect = 0x31;
constexpr uint8_t kWriteData = 0x33;
constexpr uint8_t kWriteProtectBit = 0x30;
constexpr uint8_t kWriteCounter = 0x32;
constexpr uint8_t kComparePsc = 0x0D;

std::optional<Bytes> parseHex(std::string_view text) {
    Bytes bytes;
    if (text.size() % 2 != 0) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < text.size(); i += 2) {
        uint8_t byte = 0;
        auto [end, ec] = std::from_chars(text.data() + i, text.data() + i + 2, byte, 16);
        if (ec != std::errc{} || end != text.data() + i + 2) {
            return std::nullopt;
        }
        bytes.push_back(byte);
    }
    return bytes;
}

Bytes bytesFrom(std::span<const uint8_t> memory, std::size_t address, std::size_t count) {
    if (address >= memory.size()) {
        return {};
    }
    const std::size_t n = std::min(count, memory.size() - address);
    return Bytes(memory.begin() + static_cast<long>(address),
                 memory.begin() + static_cast<long>(address + n));
}

} // namespace

std::optional<EscapeCommand> parseEscapeFrame(std::span<const uint8_t> frame) {
    if (frame.size() != kEscapeFrameSize || frame[kOffMessageType] != kXfrBlockMessage ||
        frame[kOffLength] != 3 || frame[kOffLength + 1] != 0 || frame[kOffLength + 2] != 0 ||
        frame[kOffLength + 3] != 0 || frame[kOffSlot] != 0) {
        return std::nullopt;
    }
    return EscapeCommand{frame[kOffCommand], frame[kOffAddress], frame[kOffData],
                         static_cast<uint16_t>(frame[kOffLevel] | frame[kOffLevel + 1] << 8)};
}

std::string toHex(std::span<const uint8_t> bytes) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(2 * bytes.size());
    for (uint8_t b : bytes) {
        text += kDigits[b >> 4];
        text += kDigits[b & 0x0F];
    }
    return text;
}

bool writableBy(const Bytes& protection, std::size_t a) {
    return (a >> 3) >= protection.size() || (protection[a >> 3] >> (a & 7) & 1) != 0;
}

std::optional<MemorySettings> parseMemorySettings(const KeyValues& options, std::size_t memorySize,
                                                  std::size_t protectable, std::size_t pscSize,
                                                  std::string& error) {
    MemorySettings settings;
    for (const auto& [key, value] : options) {
        if (key == "memory") {
            auto bytes = parseHex(value);
            if (!bytes || bytes->size() > memorySize) {
                error = "memory= takes up to " + std::to_string(memorySize) +
                        " bytes as hexadecimal digits";
                return std::nullopt;
            }
            settings.memory = std::move(*bytes);
        } else if (key == "protection") {
            auto bytes = parseHex(value);
            if (!bytes || bytes->size() > protectable / 8) {
                error = "protection= takes up to " + std::to_string(protectable / 8) +
                        " bytes as hexadecimal digits";
                return std::nullopt;
            }
            settings.protection = std::move(*bytes);
        } else if (key == "psc" && pscSize > 0) {
            auto bytes = parseHex(value);
            if (!bytes || bytes->size() != pscSize) {
                error = "psc= takes " + std::to_string(pscSize) + " bytes as hexadecimal digits";
                return std::nullopt;
            }
            settings.psc = std::move(*bytes);
        } else if (key == "counter" && pscSize > 0) {
            unsigned number = 0;
            const bool hex = value.starts_with("0x") || value.starts_with("0X");
            const char* begin = value.data() + (hex ? 2 : 0);
            auto [end, ec] =
                std::from_chars(begin, value.data() + value.size(), number, hex ? 16 : 10);
            if (ec != std::errc{} || end != value.data() + value.size() || number > 0xFF) {
                error = "counter= takes a number from 0 to 255";
                return std::nullopt;
            }
            settings.counter = static_cast<uint8_t>(number);
        } else if (key == "atr") {
            if (value != atrStyle(false) && value != atrStyle(true)) {
                error = "atr= takes long or short";
                return std::nullopt;
            }
            settings.shortAtr = value == atrStyle(true);
        } else {
            error = "this card takes no setting '" + key + "'";
            return std::nullopt;
        }
    }
    return settings;
}

// --- SLE4442 / SLE4432 ---------------------------------------------------------------

Sle4442Card::Sle4442Card(bool withPsc, const MemorySettings& settings)
    : m_withPsc(withPsc), m_shortAtr(settings.shortAtr) {
    m_memory.fill(0xFF);
    std::copy(settings.memory.begin(), settings.memory.end(), m_memory.begin());
    for (std::size_t a = 0; a < m_writable.size(); ++a) {
        m_writable[a] = writableBy(settings.protection, a);
    }
    if (settings.psc) {
        std::copy(settings.psc->begin(), settings.psc->end(), m_psc.begin());
    }
    if (settings.counter) {
        m_counter = *settings.counter & 0x07;
    }
}

uint32_t MemoryCard::protocols() const {
    return SCARD_PROTOCOL_T0;
}

Bytes MemoryCard::transmit(std::span<const uint8_t>) {
    return response(kNoApduInterface);
}

std::span<const uint8_t> Sle4442Card::atr() const {
    if (m_shortAtr) {
        return kSle4442ShortAtr;
    }
    return kSle4442Atr;
}

std::optional<Bytes> Sle4442Card::escape(std::span<const uint8_t> frame) {
    const auto c = parseEscapeFrame(frame);
    if (!c) {
        return std::nullopt;
    }
    switch (c->command) {
    case kReadMain:
        if (c->returnCount == 0 || c->returnCount > m_memory.size()) {
            return std::nullopt;
        }
        return bytesFrom(m_memory, c->address, c->returnCount); // stops at the end
    case kUpdateMain:
        if (writable() && (c->address >= 32 || m_writable[c->address])) {
            m_memory[c->address] = c->data;
        }
        return Bytes{};
    case kReadProtection:
        return protectionBytes();
    case kWriteProtection:
        if (c->address >= 32) {
            return std::nullopt;
        }
        // Protects the byte only when the data given equals what it holds; never undone.
        if (writable() && c->data == m_memory[c->address]) {
            m_writable.reset(c->address);
        }
        return Bytes{};
    default:
        break;
    }
    if (!m_withPsc) {
        return std::nullopt; // the SLE4432 has no security memory
    }
    switch (c->command) {
    case kReadSecurity: {
        if (c->returnCount == 0 || c->returnCount > 4) {
            return std::nullopt;
        }
        // The PSC reads as zeros until the card is verified.
        Bytes security{m_counter, 0, 0, 0};
        if (m_verification.verified()) {
            std::copy(m_psc.begin(), m_psc.end(), security.begin() + 1);
        }
        security.resize(c->returnCount);
        return security;
    }
    case kUpdateSecurity:
        if (c->address > 3) {
            return std::nullopt;
        }
        if (c->address == 0) {
            m_verification.writeCounter(m_counter, c->data & 0x07);
        } else if (m_verification.verified()) {
            m_psc[c->address - 1] = c->data;
        }
        return Bytes{};
    case kCompare:
        if (c->address < 1 || c->address > 3) {
            return std::nullopt;
        }
        m_verification.compare(c->address - 1u, c->data == m_psc[c->address - 1]);
        return Bytes{};
    default:
        return std::nullopt;
    }
}

Bytes Sle4442Card::protectionBytes() const {
    Bytes bits(m_writable.size() / 8);
    for (std::size_t a = 0; a < m_writable.size(); ++a) {
        bits[a >> 3] = static_cast<uint8_t>(bits[a >> 3] | (m_writable[a] ? 1u << (a & 7) : 0u));
    }
    return bits;
}

void Sle4442Card::describe(KeyValues& status) const {
    if (m_withPsc) {
        status["card.counter"] = std::to_string(m_counter);
        status["card.verified"] = m_verification.verified() ? "yes" : "no";
    }
}

KeyValues Sle4442Card::contents() const {
    KeyValues settings{{"memory", toHex(m_memory)},
                       {"protection", toHex(protectionBytes())},
                       {"atr", atrStyle(m_shortAtr)}};
    if (m_withPsc) {
        settings["psc"] = toHex(m_psc);
        settings["counter"] = std::to_string(m_counter);
    }
    return settings;
}

// --- SLE4428 / SLE4418 ---------------------------------------------------------------

Sle4428Card::Sle4428Card(bool withPsc, const MemorySettings& settings)
    : m_withPsc(withPsc), m_shortAtr(settings.shortAtr) {
    m_memory.fill(0xFF);
    std::copy(settings.memory.begin(), settings.memory.end(), m_memory.begin());
    for (std::size_t a = 0; a < m_protected.size(); ++a) {
        m_protected[a] = !writableBy(settings.protection, a);
    }
    // Counter and PSC are memory bytes; their own settings win over memory=.
    if (withPsc && settings.psc) {
        std::copy(settings.psc->begin(), settings.psc->end(), m_memory.begin() + kPscAddress);
    }
    if (withPsc && settings.counter) {
        m_memory[kCounterAddress] = *settings.counter;
    }
}

std::span<const uint8_t> Sle4428Card::atr() const {
    if (m_shortAtr) {
        return kSle4428ShortAtr;
    }
    return kSle4428Atr;
}

// The PSC reads as zeros until the card is verified.
uint8_t Sle4428Card::shown(std::size_t address) const {
    if (m_withPsc && !m_verification.verified() && address >= kPscAddress) {
        return 0x00;
    }
    return m_memory[address];
}

void Sle4428Card::write(uint16_t address, uint8_t data, bool protect) {
    if (!writable() || m_protected[address]) {
        return; // protected bytes never change
    }
    m_memory[address] = data;
    if (protect) {
        m_protected.set(address);
    }
}

std::optional<Bytes> Sle4428Card::escape(std::span<const uint8_t> frame) {
    const auto c = parseEscapeFrame(frame);
    if (!c) {
        return std::nullopt;
    }
    const uint8_t command = c->command & 0x3F;
    const auto address = static_cast<uint16_t>((c->command >> 6) << 8 | c->address);
    switch (command) {
    case kReadData: {
        if (c->returnCount == 0 || c->returnCount > 256) {
            return std::nullopt;
        }
        Bytes out;
        for (std::size_t a = address; a < m_memory.size() && out.size() < c->returnCount; ++a) {
            out.push_back(shown(a));
        }
        return out;
    }
    case kReadWithProtect: {
        if (c->returnCount == 0 || c->returnCount > 128) {
            return std::nullopt;
        }
        Bytes out;
        for (std::size_t a = address; a < m_memory.size() && out.size() < 2u * c->returnCount;
             ++a) {
            out.push_back(shown(a));
            out.push_back(m_protected[a] ? 0x00 : 0x01);
        }
        return out;
    }
    case kWriteWithProtect:
        write(address, c->data, true);
        return Bytes{};
    case kWriteData:
        if (m_withPsc && address == kCounterAddress && m_verification.verified()) {
            m_memory[kCounterAddress] = c->data; // FF restores all attempts
            return Bytes{};
        }
        write(address, c->data, false);
        return Bytes{};
    case kWriteProtectBit:
        // Protects the byte only when the data given equals what it holds.
        if (writable() && c->data == m_memory[address]) {
            m_protected.set(address);
        }
        return Bytes{};
    default:
        break;
    }
    if (!m_withPsc) {
        return std::nullopt; // the SLE4418 has no PSC
    }
    switch (command) {
    case kWriteCounter: {
        if (address != kCounterAddress) {
            return std::nullopt;
        }
        m_verification.writeCounter(m_memory[kCounterAddress], c->data);
        return Bytes{};
    }
    case kComparePsc: {
        if (address != kPscAddress && address != kPscAddress + 1) {
            return std::nullopt;
        }
        m_verification.compare(address - kPscAddress, c->data == m_memory[address]);
        return Bytes{};
    }
    default:
        return std::nullopt;
    }
}

void Sle4428Card::describe(KeyValues& status) const {
    if (m_withPsc) {
        char counter[8];
        std::snprintf(counter, sizeof counter, "0x%02X", m_memory[kCounterAddress]);
        status["card.counter"] = counter;
        status["card.verified"] = m_verification.verified() ? "yes" : "no";
    }
}

} // namespace simreader

namespace simreader {

// Counter and PSC are part of the memory.
KeyValues Sle4428Card::contents() const {
    Bytes protection(m_protected.size() / 8);
    for (std::size_t a = 0; a < m_protected.size(); ++a) {
        protection[a >> 3] =
            static_cast<uint8_t>(protection[a >> 3] | (m_protected[a] ? 0u : 1u << (a & 7)));
    }
    return {{"memory", toHex(m_memory)},
            {"protection", toHex(protection)},
            {"atr", atrStyle(m_shortAtr)}};
}

} // namespace simreader
