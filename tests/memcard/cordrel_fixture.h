// SPDX-License-Identifier: BSD-3-Clause
// Cordrel over the recording fake of SCardControl: every frame sent is kept, and the
// test scripts the reader's replies frame by frame.
#pragma once

#include "cordrel.h"
#include "fake_pcsc.h"

#include <gtest/gtest.h>

#include <PCSC/reader.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

using fakepcsc::Bytes;

constexpr SCARDHANDLE kCard = 0xCA7D;

inline std::string hex(const Bytes& bytes) {
    std::string text;
    char pair[4];
    for (uint8_t b : bytes) {
        std::snprintf(pair, sizeof pair, "%02X ", b);
        text += pair;
    }
    if (!text.empty()) {
        text.pop_back();
    }
    return text;
}

class CordrelTest : public ::testing::Test {
protected:
    void SetUp() override { fakepcsc::reset(); }
    void TearDown() override { fakepcsc::reset(); }

public:
    // The reader answers each frame with what `reply` makes of it.
    static void answer(std::function<Bytes(const Bytes& frame, std::size_t index)> reply) {
        auto count = std::make_shared<std::size_t>(0);
        fakepcsc::script().control = [reply, count](DWORD, const Bytes& frame, Bytes& out) {
            out = reply(frame, (*count)++);
            return LONG{SCARD_S_SUCCESS};
        };
    }
    // The frame with this index (counting from 0) fails with `result`; the others get
    // what `reply` gives.
    static void failAt(
        std::size_t failing, LONG result,
        std::function<Bytes(const Bytes&)> reply = [](const Bytes&) { return Bytes{}; }) {
        auto count = std::make_shared<std::size_t>(0);
        fakepcsc::script().control = [=](DWORD, const Bytes& frame, Bytes& out) {
            if ((*count)++ == failing) {
                return result;
            }
            out = reply(frame);
            return LONG{SCARD_S_SUCCESS};
        };
    }
    // Bytes 8 to 12 of every frame sent: the return count and the card command.
    static std::vector<std::string> sent() {
        std::vector<std::string> frames;
        for (const auto& call : fakepcsc::callsOf("SCardControl")) {
            EXPECT_EQ(call.args[1], DWORD{SCARD_CTL_CODE(2049)});
            EXPECT_EQ(call.args[2], 13u);
            EXPECT_EQ(call.args[3], 288u);
            EXPECT_EQ(hex(Bytes(call.bytes.begin(), call.bytes.begin() + 8)),
                      "6F 03 00 00 00 00 00 00");
            frames.push_back(hex(Bytes(call.bytes.begin() + 8, call.bytes.end())));
        }
        return frames;
    }
    static std::size_t frameCount() { return fakepcsc::callsOf("SCardControl").size(); }
};
