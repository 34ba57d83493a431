// SPDX-License-Identifier: BSD-3-Clause
#include "reader_commands.h"

#include <gtest/gtest.h>

using namespace simreader;

namespace {

const Bytes kCommand{0xFF, 0xE1, 0x02, 0x01, 0x0C, 0xA0, 0xFC, 0x9E, 0xA0,
                     0xFD, 0x0A, 0xA0, 0xFE, 0x05, 0xA0, 0xFF, 0x03};

TEST(LedBuzzerCommand, KeepsTheCommandedState) {
    LedBuzzerState state;
    EXPECT_EQ(runReaderCommand(kCommand, state), (Bytes{0x90, 0x00}));
    EXPECT_TRUE(state.led(1));
    EXPECT_FALSE(state.led(2));
    EXPECT_FALSE(state.led(3));
    EXPECT_TRUE(state.led(4));
    EXPECT_TRUE(state.blinking());
    EXPECT_TRUE(state.buzzer());
    EXPECT_EQ(state.tone(), 2);
    EXPECT_EQ(state.onTime, 10);
    EXPECT_EQ(state.offTime, 5);
    EXPECT_EQ(state.repetitions, 3);
}

TEST(LedBuzzerCommand, MalformedCommandsChangeNothing) {
    struct Case {
        const char* what;
        std::size_t at; // byte to change, or the length to cut to when `cut` is set
        uint8_t value;
        bool cut;
        uint16_t status;
    };
    const Case cases[] = {
        {"empty", 0, 0, true, 0x6700},
        {"header only", 4, 0, true, 0x6700},
        {"one group short", 14, 0, true, 0x6700},
        {"one byte short", 16, 0, true, 0x6700},
        {"wrong instruction", 1, 0xE2, false, 0x6D00},
        {"wrong P1", 2, 0x03, false, 0x6A86},
        {"wrong P2", 3, 0x00, false, 0x6A86},
        {"wrong Lc", 4, 0x0B, false, 0x6700},
        {"wrong group tag", 8, 0xA1, false, 0x6A80},
        {"groups out of order", 9, 0xFE, false, 0x6A80},
        {"wrong last selector", 15, 0xFC, false, 0x6A80},
        {"not class FF", 0, 0x00, false, 0x6E00},
    };
    for (const auto& c : cases) {
        Bytes command = kCommand;
        if (c.cut) {
            command.resize(c.at);
        } else {
            command[c.at] = c.value;
        }
        LedBuzzerState state{0x10, 1, 2, 3};
        const LedBuzzerState before = state;
        const Bytes answer = runReaderCommand(command, state);
        ASSERT_EQ(answer.size(), 2u) << c.what;
        EXPECT_EQ(answer[0] << 8 | answer[1], c.status) << c.what;
        EXPECT_EQ(state, before) << c.what;
    }
    Bytes longer = kCommand;
    longer.push_back(0x00);
    LedBuzzerState state;
    EXPECT_EQ(runReaderCommand(longer, state), (Bytes{0x67, 0x00}));
}

} // namespace
