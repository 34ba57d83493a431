// SPDX-License-Identifier: BSD-3-Clause
// What the fuzz targets read their input with: numbers, flags and pieces of text taken
// from the front, and whatever is left. Once the input runs out every read gives zero or
// nothing, so a target never checks for the end; libFuzzer soon learns the layout.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <unistd.h>

// A property that must hold for every input; a failure is a finding like a crash.
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition);     \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)

namespace fuzz {

class Input {
public:
    Input(const uint8_t* data, std::size_t size) : m_rest(data, size) {}

    bool empty() const { return m_rest.empty(); }

    uint8_t byte() {
        if (m_rest.empty()) {
            return 0;
        }
        const uint8_t b = m_rest.front();
        m_rest = m_rest.subspan(1);
        return b;
    }
    bool flag() { return (byte() & 1) != 0; }
    // Little-endian. Each read is a statement of its own: the operands of one expression
    // may be evaluated in any order, and g++ and clang must read an input alike.
    uint16_t u16() {
        const uint8_t low = byte();
        return static_cast<uint16_t>(low | byte() << 8);
    }
    uint32_t u32() {
        const uint16_t low = u16();
        return low | static_cast<uint32_t>(u16()) << 16;
    }

    // Up to `count` bytes.
    std::span<const uint8_t> bytes(std::size_t count) {
        const std::span<const uint8_t> taken = m_rest.first(std::min(count, m_rest.size()));
        m_rest = m_rest.subspan(taken.size());
        return taken;
    }
    std::string_view text(std::size_t count) { return asText(bytes(count)); }
    // A piece of text whose length (up to 255) comes first.
    std::string_view piece() { return text(byte()); }
    // A longer piece: a length of up to 65535 first.
    std::string_view longPiece() { return text(u16()); }
    std::string_view rest() { return text(m_rest.size()); }

    static std::string_view asText(std::span<const uint8_t> bytes) {
        return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
    }

private:
    std::span<const uint8_t> m_rest;
};

// A folder of the target's own for the files it works on: inside TESSARY_FUZZ_SCRATCH when
// set (scripts/fuzz removes that one, as libFuzzer may end a run without exit handlers),
// else in memory where the machine has a tmpfs (files cost far less there). Removed when
// the program exits.
inline const std::filesystem::path& scratchFolder() {
    static const std::filesystem::path folder = [] {
        std::error_code ec;
        const char* given = std::getenv("TESSARY_FUZZ_SCRATCH");
        std::string name = given != nullptr && *given != '\0'              ? given
                           : std::filesystem::is_directory("/dev/shm", ec) ? "/dev/shm"
                                                                           : "/tmp";
        name += "/tessary-fuzz-XXXXXX";
        FUZZ_CHECK(::mkdtemp(name.data()) != nullptr);
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(scratchFolder(), ignored);
        });
        return std::filesystem::path(name);
    }();
    return folder;
}

} // namespace fuzz
