// SPDX-License-Identifier: BSD-3-Clause
// Sixteen readers, as many as pcscd lists, whose names pcscd gives at 100 to 127
// characters (the longest configured name cut by pcscd itself): the window lists the first
// ten whole, and each can be chosen and used.
#include "gui_support.h"
#include "sim_pcscd.h"

#include <gtest/gtest.h>

#include <QComboBox>

using namespace guitest;
using namespace simtest;

namespace {

class SixteenReaders : public WindowTest {
protected:
    // The default cards of the other fixture are not here; the window is all we need.
    SixteenReaders() { m_defaultCards = false; }
    void choose(int index) {
        auto* readers = get<QComboBox>("ReaderComboBox");
        readers->setCurrentIndex(index);
        emit readers->activated(index);
    }
};

TEST_F(SixteenReaders, TheFirstTenAreListedWholeAndEachCanBeUsed) {
    Context context;
    ASSERT_EQ(context.result(), SCARD_S_SUCCESS);
    const std::vector<std::string> names = listReaders(context.get());
    ASSERT_EQ(names.size(), 16u);
    for (const std::string& name : names) {
        EXPECT_GE(name.size(), 100u) << name;
        EXPECT_LE(name.size(), 127u) << name;
    }
    ASSERT_EQ(names[0].size(), 127u); // configured with 150 characters
    EXPECT_TRUE(names[0].ends_with(" 00 00"));
    EXPECT_EQ(names[9].size(), 100u);

    auto* readers = get<QComboBox>("ReaderComboBox");
    ASSERT_TRUE(waitUntil([&] { return readers->count() > 0; }));
    ASSERT_EQ(readers->count(), 10);
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(readers->itemText(i).toStdString(), names[static_cast<std::size_t>(i)]);
    }

    // The longest name, the shortest, and a reader without a card.
    for (const int index : {0, 9, 1}) {
        choose(index);
        ASSERT_EQ(status(), "Initial Reader Successed") << index;
        type(QStringLiteral("00 84 00 00 08"));
        click("SendSmartCardBitBtn");
        EXPECT_EQ(status(), "Send Data Success") << index;
    }
    choose(3);
    EXPECT_EQ(status(),
              "Initial Reader Failed. Select reader again and check the smartcard is inserted.");
    EXPECT_TRUE(boxes().empty());

    m_form.reset();
    const std::string traced = trace();
    EXPECT_NE(traced.find("[0] szReader = " + names[0] + "\r\n"), std::string::npos);
    EXPECT_NE(traced.find("InitReader_WIN Enter, ReaderName = " + names[0] + "\r\n"),
              std::string::npos);
    EXPECT_EQ(traced.find(names[10]), std::string::npos);
}

} // namespace
