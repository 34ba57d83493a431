// SPDX-License-Identifier: BSD-3-Clause
// The card-level steps over the fake PC/SC service, whose reader holds one of the
// simulated memory cards: every frame that reaches the card is on record.
#include "card_session.h"
#include "fake_pcsc.h"
#include "memory_cards.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

using namespace tessary::memcard;

namespace {

constexpr SCARDHANDLE kHandle = 0xCA7D;
using Addresses = std::vector<uint32_t>;

class OnASimulatedCard : public ::testing::Test {
protected:
    void SetUp() override { fakepcsc::reset(); }
    void TearDown() override { fakepcsc::reset(); }

    void insert(const char* type, const simreader::KeyValues& options = {}) {
        std::string error;
        m_card = simreader::makeCard(*simreader::parseCardType(type), options, error);
        ASSERT_TRUE(m_card) << error;
        m_pages = std::string_view(type) == "sle4428" || std::string_view(type) == "sle4418";
        m_pullAfter.reset();
        fakepcsc::script().control = [this](DWORD, const fakepcsc::Bytes& frame,
                                            fakepcsc::Bytes& reply) -> LONG {
            if (m_pullAfter && *m_pullAfter == 0) {
                return SCARD_W_REMOVED_CARD;
            }
            if (m_pullAfter) {
                --*m_pullAfter;
            }
            const auto answer = m_card->escape(frame);
            if (!answer) {
                return SCARD_E_NOT_TRANSACTED; // what pcscd makes of the reader's refusal
            }
            reply = *answer;
            return SCARD_S_SUCCESS;
        };
    }
    // Sends a frame straight to the card, as an earlier program would have.
    void direct(uint8_t command, uint32_t address, uint8_t data) {
        const auto page = static_cast<uint8_t>(m_pages ? (address >> 8) << 6 : 0);
        const simreader::Bytes frame{0x6F,
                                     3,
                                     0,
                                     0,
                                     0,
                                     0,
                                     0,
                                     0,
                                     0,
                                     0,
                                     static_cast<uint8_t>(command | page),
                                     static_cast<uint8_t>(address & 0xFF),
                                     data};
        ASSERT_TRUE(m_card->escape(frame));
    }
    std::size_t mark() const { return fakepcsc::callsOf("SCardControl").size(); }
    // The addresses of the frames sent since the mark that write to the card, counter and
    // protection included.
    Addresses writesSince(std::size_t mark) const {
        const std::vector<uint8_t> writes = m_pages ? std::vector<uint8_t>{0x33, 0x31, 0x30, 0x32}
                                                    : std::vector<uint8_t>{0x38, 0x39, 0x3C};
        Addresses found;
        const auto calls = fakepcsc::callsOf("SCardControl");
        for (std::size_t i = mark; i < calls.size(); ++i) {
            const auto& f = calls[i].bytes;
            const auto command = static_cast<uint8_t>(m_pages ? f[10] & 0x3F : f[10]);
            if (std::find(writes.begin(), writes.end(), command) != writes.end()) {
                found.push_back(m_pages ? static_cast<uint32_t>((f[10] >> 6) << 8 | f[11]) : f[11]);
            }
        }
        return found;
    }

    std::unique_ptr<simreader::Card> m_card;
    bool m_pages = false;
    std::optional<std::size_t> m_pullAfter; // frames the card takes before it slips out
};

TEST_F(OnASimulatedCard, WritesExactlyTheBytesThatDifferAndReadsThemBack) {
    struct Row {
        const char* type;
        simreader::KeyValues options;
        std::vector<uint8_t> psc;
        Addresses changes;
        Addresses written; // all changes but the SLE4428's counter and PSC
    };
    const Row rows[] = {
        {"sle4442",
         {{"psc", "123456"}, {"memory", "A2131091"}},
         {0x12, 0x34, 0x56},
         {0x00, 0x40, 0x41, 0x42, 0xFF},
         {0x00, 0x40, 0x41, 0x42, 0xFF}},
        {"sle4432", {}, {}, {0x1F}, {0x1F}},
        {"sle4428",
         {{"psc", "ABCD"}},
         {0xAB, 0xCD},
         {0x000, 0x0FF, 0x100, 0x3FC, 0x3FE},
         {0x000, 0x0FF, 0x100, 0x3FC}},
        {"sle4418", {}, {}, {0x200, 0x3FD, 0x3FE, 0x3FF}, {0x200, 0x3FD, 0x3FE, 0x3FF}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.type);
        insert(row.type, row.options);
        const CardType type = *cardTypeNamed(row.type);
        if (!row.psc.empty()) {
            ASSERT_EQ(PscGuard().verify(kHandle, type, row.psc, false).verdict,
                      PscVerdict::Accepted);
        }
        CardImage card;
        ASSERT_TRUE(readCard(kHandle, type, card).ok());
        if (type == CardType::Sle4442) {
            EXPECT_EQ(card.data[0], 0xA2);
            EXPECT_EQ(card.counter, 0x07);
        }
        if (type == CardType::Sle4428) { // verified, it shows its PSC: no image holds it
            EXPECT_EQ(card.data[0x3FE], 0x00);
            EXPECT_EQ(card.data[0x3FF], 0x00);
        }
        CardImage image = card;
        for (uint32_t a : row.changes) {
            image.data[a] ^= 0x5A;
        }
        const WritePlan plan = planWrite(card, image);
        const std::size_t before = mark();
        const WriteReport report = writePlan(kHandle, type, plan);
        ASSERT_TRUE(report.status.ok()) << report.status.step;
        EXPECT_EQ(writesSince(before), row.written);
        EXPECT_EQ(report.frames, row.written.size());
        EXPECT_EQ(report.written, row.written);

        CardImage after;
        ASSERT_TRUE(readCard(kHandle, type, after).ok());
        EXPECT_TRUE(bytesNotTaken(plan, after).empty());
        for (uint32_t a : plan.skipped) {
            image.data[a] = card.data[a];
        }
        EXPECT_EQ(after.data, image.data);
    }
}

TEST_F(OnASimulatedCard, AProtectedByteStopsTheWholeWriteBeforeAnyFrame) {
    struct Row {
        const char* type;
        uint8_t protectCommand;
        uint32_t protectedByte;
    };
    for (const Row& row : {Row{"sle4432", 0x3C, 0x05}, Row{"sle4418", 0x30, 0x300}}) {
        SCOPED_TRACE(row.type);
        insert(row.type);
        direct(row.protectCommand, row.protectedByte, 0xFF); // data as held: the bit is set
        const CardType type = *cardTypeNamed(row.type);
        CardImage card;
        ASSERT_TRUE(readCard(kHandle, type, card).ok());
        EXPECT_TRUE(card.protect[row.protectedByte]);
        CardImage image = card;
        image.data[0x40] = 0x00;
        image.data[row.protectedByte] = 0x00;
        image.protect[0x11] = true; // the image's own protection is never written

        const WritePlan plan = planWrite(card, image);
        EXPECT_EQ(plan.refused, Addresses{row.protectedByte});
        EXPECT_EQ(plan.protectionNotWritten, Addresses{0x11});
        const std::size_t before = mark();
        EXPECT_FALSE(writePlan(kHandle, type, plan).status.ok());
        EXPECT_EQ(mark(), before);
    }
}

TEST_F(OnASimulatedCard, PscGuardSpendsOneAttemptAtMostAndKeepsTheLast) {
    struct Row {
        const char* type;
        const char* psc;
        const char* oneAttemptLeft;
        std::vector<uint8_t> right;
        std::vector<uint8_t> wrong;
        int full;
    };
    const Row rows[] = {
        {"sle4442", "123456", "4", {0x12, 0x34, 0x56}, {0x12, 0x34, 0x57}, 3},
        {"sle4428", "ABCD", "128", {0xAB, 0xCD}, {0xAB, 0x00}, 8},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.type);
        const CardType type = *cardTypeNamed(row.type);
        insert(row.type, {{"psc", row.psc}});
        PscGuard guard;
        PscOutcome outcome = guard.verify(kHandle, type, row.wrong, false);
        EXPECT_EQ(outcome.verdict, PscVerdict::Wrong);
        EXPECT_EQ(outcome.attemptsBefore, row.full);
        EXPECT_EQ(outcome.attemptsAfter, row.full - 1);
        std::size_t before = mark();
        EXPECT_EQ(guard.verify(kHandle, type, row.right, false).verdict, PscVerdict::AlreadyTried);
        EXPECT_EQ(mark(), before);
        outcome = PscGuard().verify(kHandle, type, row.right, false);
        EXPECT_EQ(outcome.verdict, PscVerdict::Accepted);
        EXPECT_EQ(outcome.attemptsAfter, row.full);

        // One attempt left: kept unless given up, and then spent once.
        insert(row.type, {{"psc", row.psc}, {"counter", row.oneAttemptLeft}});
        PscGuard last;
        before = mark();
        EXPECT_EQ(last.verify(kHandle, type, row.right, false).verdict,
                  PscVerdict::LastAttemptKept);
        EXPECT_TRUE(writesSince(before).empty());
        // The last attempt is spent before the compare: the right PSC still unlocks the card,
        // and every attempt comes back.
        outcome = last.verify(kHandle, type, row.right, true);
        EXPECT_EQ(outcome.verdict, PscVerdict::Accepted);
        EXPECT_EQ(outcome.attemptsAfter, row.full);

        insert(row.type, {{"psc", row.psc}, {"counter", row.oneAttemptLeft}});
        outcome = PscGuard().verify(kHandle, type, row.wrong, true);
        EXPECT_EQ(outcome.verdict, PscVerdict::Wrong);
        EXPECT_EQ(outcome.attemptsAfter, 0);
        before = mark();
        EXPECT_EQ(PscGuard().verify(kHandle, type, row.right, true).verdict, PscVerdict::Locked);
        EXPECT_TRUE(writesSince(before).empty());
    }
}

TEST_F(OnASimulatedCard, APulledCardLeavesAnExactAccountOfWhatWasWritten) {
    insert("sle4432");
    CardImage card;
    ASSERT_TRUE(readCard(kHandle, CardType::Sle4432, card).ok());
    CardImage image = card;
    for (uint32_t a = 0x40; a < 0x4A; ++a) {
        image.data[a] = static_cast<uint8_t>(a);
    }
    m_pullAfter = 4;
    const WriteReport report = writePlan(kHandle, CardType::Sle4432, planWrite(card, image));
    EXPECT_EQ(report.status.code, SCARD_W_REMOVED_CARD);
    EXPECT_EQ(report.written, (Addresses{0x40, 0x41, 0x42, 0x43}));
    EXPECT_EQ(report.unconfirmed, (Addresses{0x44, 0x45, 0x46, 0x47, 0x48, 0x49}));

    m_pullAfter.reset(); // back in, with what it took
    CardImage after;
    ASSERT_TRUE(readCard(kHandle, CardType::Sle4432, after).ok());
    EXPECT_EQ(after.data[0x43], 0x43);
    EXPECT_EQ(after.data[0x44], 0xFF);
}

TEST_F(OnASimulatedCard, AStopAskedForDuringAFrameEndsTheWriteBeforeTheNext) {
    insert("sle4432");
    CardImage card;
    ASSERT_TRUE(readCard(kHandle, CardType::Sle4432, card).ok());
    CardImage image = card;
    for (uint32_t a = 0x40; a < 0x4A; ++a) {
        image.data[a] = static_cast<uint8_t>(a);
    }
    const std::size_t before = mark();
    // As a signal caught while the fourth frame is on its way.
    const WriteReport report = writePlan(kHandle, CardType::Sle4432, planWrite(card, image),
                                         [&] { return mark() - before >= 4; });
    EXPECT_TRUE(report.stopped);
    EXPECT_TRUE(report.status.ok());
    EXPECT_EQ(report.frames, 4u);
    EXPECT_EQ(writesSince(before), (Addresses{0x40, 0x41, 0x42, 0x43}));
    EXPECT_EQ(report.written, (Addresses{0x40, 0x41, 0x42, 0x43}));
    EXPECT_EQ(report.unconfirmed, (Addresses{0x44, 0x45, 0x46, 0x47, 0x48, 0x49}));
    CardImage after;
    ASSERT_TRUE(readCard(kHandle, CardType::Sle4432, after).ok());
    EXPECT_EQ(after.data[0x43], 0x43);
    EXPECT_EQ(after.data[0x44], 0xFF);
}

TEST_F(OnASimulatedCard, TheTypeComesFromTheAtrAndWhatIsSaidMustAgree) {
    const std::vector<uint8_t> wrapped4442{0x3B, 0x64, 0x00, 0x00, 0xA2, 0x13, 0x10, 0x91};
    const std::vector<uint8_t> chip4442{0xA2, 0x13, 0x10, 0x91};
    const std::vector<uint8_t> chip4428{0x92, 0x23, 0x10, 0x91};
    const std::vector<uint8_t> processor{0x3B, 0x88, 0x80, 0x31, 0xFE, 0x45};
    struct Row {
        const char* card;
        std::vector<uint8_t> atr;
        std::optional<CardType> option;
        std::optional<CardType> image;
        std::optional<CardType> type; // or the error below
        const char* error;
    };
    const Row rows[] = {
        {"sle4442", chip4442, {}, {}, CardType::Sle4442, ""},
        {"sle4432", wrapped4442, {}, {}, CardType::Sle4432, ""},
        {"sle4432", chip4442, CardType::Sle4442, {}, {}, "has no security memory"},
        {"sle4442", chip4442, {}, CardType::Sle4428, {}, "the image is of an SLE4428"},
        {"sle4428", chip4428, {}, {}, CardType::Sle4428, ""},
        {"sle4418", chip4428, {}, CardType::Sle4418, CardType::Sle4418, ""},
        {"sle4418", chip4428, CardType::Sle4418, CardType::Sle4428, {}, "image is of an SLE4428"},
        {"sle4428", chip4428, CardType::Sle4442, {}, {}, "that of an SLE4428 or SLE4418"},
        {"sle4428", chip4428, {}, CardType::Sle4442, {}, "the card is an SLE4428 or SLE4418"},
        {"sle4418", processor, {}, {}, {}, "not that of a memory card"},
        {"sle4418", processor, CardType::Sle4418, {}, CardType::Sle4418, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.card) + " " + row.error);
        insert(row.card);
        const TypeResolution resolved = resolveCardType(kHandle, row.atr, {row.option, row.image});
        EXPECT_TRUE(resolved.status.ok());
        EXPECT_EQ(resolved.type, row.type);
        EXPECT_NE(resolved.error.find(row.error), std::string::npos) << resolved.error;
    }
}

} // namespace
