// SPDX-License-Identifier: BSD-3-Clause
// The memory-card pages over a recording view, the memory-card library and the fake
// service, whose SCardControl answers each frame as a simulated card would.
#include "fake_pcsc.h"
#include "memcard_pages.h"
#include "recording_views.h"
#include "request_text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <map>
#include <set>

using namespace tessary;
using fakepcsc::Bytes;

namespace {

constexpr auto kFirst = MemCardPage::Sle4442, kSecond = MemCardPage::Sle4428;

struct RecordedPage {
    int cardType = -1, boxTag = 1; // as the window starts
    bool send = false, addressLength = false, keys = false, writeBox = false, checked = false;
    std::string prompt, caption, log; // the log: the lines appended, each ended by "|"
    std::array<int64_t, 4> ranges{};
    MemCardFields fields; // its log: what the operator typed
};

class RecordingPages : public MemCardView {
public:
    RecordedPage& operator[](MemCardPage p) { return m_pages[static_cast<std::size_t>(p)]; }
    const RecordedPage& operator[](MemCardPage p) const {
        return m_pages[static_cast<std::size_t>(p)];
    }
    void setStatus(const std::string& text) override { status = text; }
    int cardTypeIndex(MemCardPage p) const override { return (*this)[p].cardType; }
    int cardTypeBoxTag(MemCardPage p) const override { return (*this)[p].boxTag; }
    void setCardTypeBoxTag(MemCardPage p, int tag) override { (*this)[p].boxTag = tag; }
    void setOperationVisible(uint16_t tag, bool visible) override { shown[tag] = visible; }
    void setOperationRed(uint16_t tag, bool on) override {
        std::erase(red, tag);
        if (on) {
            red.push_back(tag);
        }
    }
    void showSend(MemCardPage p) override { (*this)[p].send = true; }
    void setPrompt(MemCardPage p, const std::string& text) override { (*this)[p].prompt = text; }
    void setRanges(MemCardPage p, int32_t addressLow, int32_t addressHigh, uint32_t lengthLow,
                   uint32_t lengthHigh) override {
        (*this)[p].ranges = {addressLow, addressHigh, lengthLow, lengthHigh};
    }
    void setAddressLengthVisible(MemCardPage p, bool on) override { (*this)[p].addressLength = on; }
    void setKeysVisible(MemCardPage p, bool visible) override { (*this)[p].keys = visible; }
    void setWriteBox(MemCardPage p, bool visible, const std::optional<std::string>& c) override {
        (*this)[p].writeBox = visible;
        (*this)[p].caption = c.value_or((*this)[p].caption);
    }
    bool writeBoxChecked(MemCardPage p) const override { return (*this)[p].checked; }
    MemCardFields fields(MemCardPage p, bool withLog) const override {
        MemCardFields fields = (*this)[p].fields;
        fields.log = withLog ? fields.log : std::string();
        return fields;
    }
    void appendLogLines(MemCardPage p, const std::vector<std::string>& lines) override {
        for (const std::string& line : lines) {
            (*this)[p].log += line + "|";
        }
    }
    void clearLog(MemCardPage p) override { (*this)[p].log = (*this)[p].fields.log = ""; }

    std::string status;
    std::map<uint16_t, bool> shown;
    std::vector<uint16_t> red;

private:
    std::array<RecordedPage, 2> m_pages;
};

MemCardPage pageOf(uint16_t tag) {
    return tag < kFirstSle4428Tag ? kFirst : kSecond;
}

class Pages : public ::testing::Test {
protected:
    void SetUp() override {
        fakepcsc::reset();
        connection.FormCreate();
        connection.LinkReader();
        ASSERT_NE(connection.card(), 0u);
    }
    void TearDown() override {
        connection.FormClose();
        fakepcsc::reset();
    }
    // A card whose byte at each address reads as the address's low byte, or as `fill`;
    // read with its protect bits, an odd address is protected. Replies stop at `limit`
    // bytes; from frame `failFrom` on, every frame fails with `failure`.
    static void card(int fill = -1, std::size_t limit = SIZE_MAX, std::size_t failFrom = SIZE_MAX,
                     LONG failure = SCARD_S_SUCCESS) {
        fakepcsc::calls().clear();
        auto count = std::make_shared<std::size_t>(0);
        fakepcsc::script().control = [=](DWORD, const Bytes& frame, Bytes& reply) {
            if ((*count)++ >= failFrom) {
                return failure;
            }
            const auto level = static_cast<std::size_t>(frame[8] | frame[9] << 8);
            for (std::size_t i = 0; i < level && reply.size() < limit; ++i) {
                const auto value = static_cast<uint8_t>(fill < 0 ? frame[11] + i : fill);
                reply.push_back(value);
                if ((frame[10] & 0x3F) == 0x0C) {
                    reply.push_back(value & 1 ? 0x00 : 0x01);
                }
            }
            return LONG{SCARD_S_SUCCESS};
        };
    }
    // Bytes 8 to 12 of each frame, the count to return and the card's command, each
    // ended by ",".
    std::string frames() const {
        std::string sent;
        for (const auto& call : fakepcsc::callsOf("SCardControl")) {
            EXPECT_EQ(call.args[0], connection.card());
            EXPECT_EQ(call.args[1], DWORD{SCARD_CTL_CODE(2049)});
            sent += FormatDataLine("", call.bytes.data() + 8, 5);
            sent.back() = ',';
        }
        return sent;
    }
    // The operator's steps: the card type, the operation, the fields (and the log, or the
    // keys as pairs), SEND.
    void send(uint16_t tag, int cardType, bool checked, const char* address, const char* length,
              std::string typed) {
        const MemCardPage page = pageOf(tag);
        view[page].cardType = cardType;
        page == kFirst ? pages.Check3242RadioGroupClick() : pages.Check1828RadioGroupClick();
        pages.BitBtn4442Click(tag);
        view[page].fields = {address, length, {}, typed};
        for (std::size_t i = 0; i < 3 && typed.size() >= 3 * i + 2; ++i) {
            view[page].fields.keys[i] = typed.substr(3 * i, 2);
        }
        view[page].checked = checked;
        page == kFirst ? pages.SendBitBtnClick() : pages.SendSle2818BitBtnClick();
    }

    RecordingWindow readerView;
    ReaderConnection connection{readerView};
    RecordingPages view;
    MemCardPages pages{view, connection, LibraryCordrel()};
};

TEST_F(Pages, SendCallsTheOperationsExportAndLogsItsAnswer) {
    struct Case {
        uint16_t tag;
        int cardType; // 0 the page's other type (SLE4432, SLE4418), 1 its own
        bool checked;
        const char *address, *length, *typed;
        int fill;
        const char *frames, *status, *log;
    };
    const Case cases[] = {
        {0, 1, false, "5", "3", "", -1, "03 00 30 05 00,", "SLE4442_Read_Main_Memory Success",
         "Response Data:|05 06 07 |"},
        {1, 1, false, "40", "2", "A1 B2", -1, "00 00 38 28 A1,00 00 38 29 B2,",
         "SLE4442_Update_Main_Memory Success", ""},
        // A checked write reads the protection first; past the protected bytes it writes.
        {1, 0, true, "40", "2", "A1 B2", -1, "04 00 34 00 00,00 00 38 28 A1,00 00 38 29 B2,",
         "SLE4432_Update_Main_MemoryA Success", ""},
        {2, 1, false, "", "", "", -1, "04 00 34 00 00,", "SLE4442_Read_Protection_Memory Success",
         "Response Data:|00 01 02 03 |"},
        {3, 1, false, "2", "1", "FF", -1, "00 00 3C 02 FF,",
         "SLE4442_Write_Protection_Memory Success", ""},
        {4, 1, false, "", "", "", -1, "01 00 31 00 00,", "SLE4442_Read_Security_Memory Success",
         "Response Data:|00 |"},
        {5, 1, false, "1", "2", "12 34", -1, "00 00 39 01 12,00 00 39 02 34,",
         "SLE4442_Update_Security_Memory Success", ""},
        {6, 1, false, "", "", "12 34 56", 0x07,
         "01 00 31 00 00,00 00 39 00 06,00 00 33 01 12,00 00 33 02 34,00 00 33 03 56,"
         "00 00 39 00 FF,01 00 31 00 00,",
         "SLE4442_Compare_Verification_Data Success", ""},
        {6, 1, false, "", "", "12 34 55", -1, nullptr,
         "SLE4442_Compare_Verification_Data Failed Return 0x8010006B", ""},
        {7, 1, false, "496", "2", "", -1, "02 00 4E F0 00,",
         "SLE4428_Read_Data_Without_Protect_Bit Success", "Response Data:|F0 F1 |"},
        {8, 1, false, "768", "1", "0A", -1, "00 00 F3 00 0A,",
         "SLE4428_Write_Data_Without_Protect_Bit Success", ""},
        {8, 0, true, "768", "1", "0A", -1, "01 00 CC 00 00,00 00 F3 00 0A,",
         "SLE4418_Write_Data_Without_Protect_BitA Success", ""},
        {9, 1, false, "2", "2", "", -1, "02 00 0C 02 00,",
         "SLE4428_Read_Data_With_Protect_Bit Success",
         "Response Data:|02 03 |Protect Bit:|01 00 |"},
        {10, 1, false, "5", "1", "05", -1, "00 00 30 05 05,", "SLE4428_Write_Protect_Bit Success",
         ""},
        {11, 1, false, "1", "1", "77", -1, "00 00 31 01 77,",
         "SLE4428_Write_Data_With_Protect_Bit Success", ""},
        {11, 1, true, "1", "1", "77", -1, "01 00 0C 01 00,",
         "SLE4428_Write_Data_With_Protect_BitA Failed Return 0x80100004", ""},
        {12, 1, false, "", "", "A1 B2", 0xFF,
         "01 00 CE FD 00,00 00 F2 FD FE,00 00 CD FE A1,00 00 CD FF B2,00 00 F3 FD FF,"
         "01 00 CE FD 00,",
         "SLE4428_PSC_Verification Success", ""},
    };
    for (const auto& c : cases) {
        view[pageOf(c.tag)].log.clear();
        card(c.fill);
        send(c.tag, c.cardType, c.checked, c.address, c.length, c.typed);
        EXPECT_EQ(view.status, c.status) << c.tag;
        EXPECT_EQ(view[pageOf(c.tag)].log, c.log) << c.status;
        if (c.frames != nullptr) {
            EXPECT_EQ(frames(), c.frames) << c.status;
        }
    }
    // A short answer: what came, and nothing the reader did not send.
    view[kSecond].log.clear();
    card(-1, 2);
    send(7, 0, false, "0", "4", "");
    EXPECT_EQ(view[kSecond].log, "Response Data:|00 01 |");
    EXPECT_EQ(view.status, "SLE4418_Read_Data_Without_Protect_Bit Success");
}

TEST_F(Pages, NothingIsSentForTheWrongPageOrABadField) {
    struct Case {
        uint16_t tag;
        MemCardPage sentFrom;
        MemCardFields fields;
        const char* status;
    };
    const Case cases[] = {
        // The two pages share one selection.
        {8, kFirst, {"0", "1", {}, "00"}, "Unknown Function Select !!!"},
        {0, kSecond, {"0", "1", {}, ""}, "Unknown Function Select !!!"},
        {8,
         kSecond,
         {"0", "3", {}, "01 02"},
         "SLE4428_Write_Data_Without_Protect_Bit Data Length Invalid"},
    };
    card();
    for (const auto& c : cases) {
        pages.BitBtn4442Click(c.tag);
        view[c.sentFrom].fields = c.fields;
        c.sentFrom == kFirst ? pages.SendBitBtnClick() : pages.SendSle2818BitBtnClick();
        EXPECT_EQ(view.status, c.status);
        EXPECT_EQ(frames(), "") << c.status;
    }
    // An export the program could not bind is never called.
    MemCardPages unbound{view, connection, CordrelBindings{}};
    unbound.BitBtn4442Click(0);
    view[kFirst].fields = {"0", "1", {}, ""};
    unbound.SendBitBtnClick();
    EXPECT_EQ(view.status, "Parameter Invalid !!!");
    EXPECT_EQ(frames(), "");
}

TEST_F(Pages, AFailedFrameIsReportedAsAFailure) {
    struct Case {
        uint16_t tag;
        const char *address, *length, *typed;
        std::size_t failFrom;
        LONG failure;
        std::string status;
        std::size_t controlCalls;
        bool logged, serviceGone;
    };
    const Case cases[] = {
        // The card pulled out in a write.
        {1, "0", "3", "01 02 03", 1, SCARD_W_REMOVED_CARD,
         "SLE4442_Update_Main_Memory Failed Return 0x80100069", 2, false, false},
        // No bytes of an answer that did not come pass for the card's.
        {7, "0", "16", "", 0, SCARD_E_NOT_TRANSACTED,
         "SLE4428_Read_Data_Without_Protect_Bit Failed Return 0x80100016", 1, false, false},
        // The refused code, then the feature request; the cure goes into the page's log.
        {2, "", "", "", 0, SCARD_E_UNSUPPORTED_FEATURE,
         "SLE4442_Read_Protection_Memory Failed Return 0x8010001F", 2, true, false},
        {0, "0", "1", "", 0, SCARD_E_NO_SERVICE,
         "SLE4442_Read_Main_Memory Failed Return 0x8010001D", 1, false, true},
    };
    for (const auto& c : cases) {
        view[pageOf(c.tag)].log.clear();
        card(-1, SIZE_MAX, c.failFrom, c.failure);
        send(c.tag, 1, false, c.address, c.length, c.typed);
        EXPECT_EQ(view.status, c.status);
        EXPECT_EQ(fakepcsc::callsOf("SCardControl").size(), c.controlCalls) << c.status;
        EXPECT_EQ(view[pageOf(c.tag)].log.starts_with("This reader's driver"), c.logged);
        EXPECT_EQ(view[pageOf(c.tag)].log.find("Response"), std::string::npos) << c.status;
        EXPECT_EQ(connection.serviceGone(), c.serviceGone) << c.status;
    }
}

TEST_F(Pages, ChoosingAnOperationLaysOutItsPageAndHighlightsItsButton) {
    struct Case {
        uint16_t tag;
        const char* prompt;
        std::array<int64_t, 4> ranges;
        bool addressLength, keys, writeBox;
        const char* caption;
        bool logEmptied; // for the bytes to write
    };
    const std::array<int64_t, 4> main{0, 255, 1, 256}, security{1, 3, 1, 3}, all{0, 1023, 1, 1024};
    const char *kept = "kept", *example = "Request: Ex.01 05 DE FF ...";
    const Case cases[] = {
        {0, "Response:", main, true, false, false, kept, false},
        {1, example, main, true, false, true, kept, true},
        {6, "Response:", security, false, true, false, kept, false},
        {7, "Response:", all, true, false, false, "", false},
        // The second page's log is never emptied by a choice.
        {8, "Request:", all, true, false, true, "Write Data Without Protect Bit Checked", false},
        {12, "Response:", all, false, true, false, "", false},
    };
    for (const auto& c : cases) {
        RecordedPage& page = view[pageOf(c.tag)];
        RecordedPage& other = view[pageOf(c.tag) == kFirst ? kSecond : kFirst];
        page.caption = page.log = page.fields.log = other.log = kept;
        pages.BitBtn4442Click(c.tag);
        EXPECT_EQ(pages.selectedTag(), c.tag);
        EXPECT_EQ(view.red, std::vector<uint16_t>{c.tag});
        EXPECT_TRUE(page.send) << c.tag;
        EXPECT_EQ(page.prompt, c.prompt) << c.tag;
        EXPECT_EQ(page.ranges, c.ranges) << c.tag;
        EXPECT_EQ(page.addressLength, c.addressLength) << c.tag;
        EXPECT_EQ(page.keys, c.keys) << c.tag;
        EXPECT_EQ(page.writeBox, c.writeBox) << c.tag;
        EXPECT_EQ(page.caption, c.caption) << c.tag;
        EXPECT_EQ(page.log + page.fields.log, c.logEmptied ? "" : "keptkept") << c.tag;
        EXPECT_EQ(other.log, kept) << c.tag;
    }
}

TEST_F(Pages, TheCardTypeChoosesTheOperationsShownAndTheExportsNamed) {
    const auto pick = [&](MemCardPage page, int item) {
        return [this, page, item] {
            view[page].cardType = item;
            page == kFirst ? pages.Check3242RadioGroupClick() : pages.Check1828RadioGroupClick();
        };
    };
    const auto first = [this] { pages.SLE4432CheckBoxClick(); };
    const auto second = [this] { pages.SLE4418CheckBoxClick(); };
    struct Step {
        std::function<void()> act;
        std::set<uint16_t> hidden;
        bool sle4432, sle4418;
    };
    // The yellow boxes toggle on their tag value, whatever their check mark shows.
    const Step steps[] = {
        {pick(kFirst, 1), {}, false, false},
        {pick(kFirst, 0), {4, 5, 6}, true, false},
        {first, {4, 5, 6}, true, false},
        {first, {}, false, false},
        {pick(kSecond, 0), {12}, false, true},
        {pick(kSecond, -1), {12}, false, true},
        {pick(kSecond, 1), {}, false, false},
        {second, {12}, false, true},
        {second, {}, false, false},
    };
    int n = 0;
    for (const auto& step : steps) {
        step.act();
        std::set<uint16_t> hidden;
        for (const auto& [tag, visible] : view.shown) {
            if (!visible) {
                hidden.insert(tag);
            }
        }
        EXPECT_EQ(hidden, step.hidden) << "step " << n;
        EXPECT_EQ(pages.sle4432Mode(), step.sle4432) << "step " << n;
        EXPECT_EQ(pages.sle4418Mode(), step.sle4418) << "step " << n++;
    }
    EXPECT_EQ(view[kFirst].boxTag + view[kSecond].boxTag, 2);
}

} // namespace
