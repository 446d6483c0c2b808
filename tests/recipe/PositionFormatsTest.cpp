// The two forms of one camera and position: the text a person reads and edits, and the 24 exact bytes.
#include "PositionFormats.h"

#include <QStringList>

#include <gtest/gtest.h>

namespace {

const Recipe::ChannelLevels kLevels{1, 2, 30, 128, 200, 254, 255, 9};
const Recipe::ChannelMasks kMasks{0x0000, 0xFFFF, 0x0001, 0x8000, 0x00FF, 0x5555, 0x1234, 0xFF00};

TEST(PositionFormats, TextAndBytesRoundTrip) {
    const QString text = FormatPosition(3, 5, kLevels, kMasks);
    EXPECT_TRUE(text.startsWith(QStringLiteral("Camera 3, position 5\n  Channel  Level  Steps 1..16\n"
                                               "                  1234567890123456\n"
                                               "  CH17         1  ................\n")));
    EXPECT_TRUE(text.endsWith(QStringLiteral("  CH24         9  ........########\n")));
    Recipe::ChannelLevels levels{};
    Recipe::ChannelMasks masks{};
    QString error;
    ASSERT_TRUE(ParsePosition(text, &levels, &masks, &error)) << error.toStdString();
    EXPECT_EQ(levels, kLevels);
    EXPECT_EQ(masks, kMasks);

    const QByteArray bytes = PositionBytes(kLevels, kMasks);
    ASSERT_EQ(bytes.size(), 24);
    EXPECT_EQ(bytes.left(8), QByteArray("\x01\x02\x1E\x80\xC8\xFE\xFF\x09", 8));
    EXPECT_EQ(bytes.mid(8, 8), QByteArray("\x00\x00\xFF\xFF\x01\x00\x00\x80", 8)); // little-endian words
    levels = {};
    masks = {};
    ASSERT_TRUE(ParsePositionBytes(bytes, &levels, &masks));
    EXPECT_EQ(levels, kLevels);
    EXPECT_EQ(masks, kMasks);
    EXPECT_FALSE(ParsePositionBytes(bytes.left(23), &levels, &masks));
    EXPECT_FALSE(ParsePositionBytes(bytes + 'x', &levels, &masks));
}

TEST(PositionFormats, EditedTextIsReadInAnyOrderAndNumbering) {
    // Headings gone, camera 1's numbers pasted anywhere, bare numbers, tabs, Windows line ends, any order.
    const QString text =
        QStringLiteral("8 8 ...............#\r\n\n ch1\t100 #...............\n"
                       "CH2 2 ................\nCH3 3 ................\nCH4 4 ................\n"
                       "CH13 5 ................\nCH6 6 ................\nCH7 7 ................\n");
    Recipe::ChannelLevels levels{};
    Recipe::ChannelMasks masks{};
    QString error;
    ASSERT_TRUE(ParsePosition(text, &levels, &masks, &error)) << error.toStdString();
    EXPECT_EQ(levels, (Recipe::ChannelLevels{100, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(masks[0], 0x0001);
    EXPECT_EQ(masks[7], 0x8000);
}

TEST(PositionFormats, TextThatDoesNotReadNamesTheLineAndWritesNothing) {
    const QString good = FormatPosition(1, 1, kLevels, kMasks);
    auto replaceLine = [&](int line, const QString& with) {
        QStringList lines = good.split('\n');
        lines[line - 1] = with;
        return lines.join('\n');
    };
    struct Case {
        QString text;
        const char* error;
    };
    const Case cases[] = {
        {QStringLiteral("hello"), "Line 1: expected a channel, a level and 16 steps"},
        {QString(), "Channel 1 is missing"},
        {replaceLine(4, QStringLiteral("CH1 0 ................")),
         "Line 4: the level \"0\" is not a number from 1 to 255."},
        {replaceLine(4, QStringLiteral("CH1 256 ................")), "Line 4: the level \"256\""},
        {replaceLine(5, QStringLiteral("CH2 abc ................")), "Line 5: the level \"abc\""},
        {replaceLine(6, QStringLiteral("CH3 3 ...............")),
         "Line 6: the steps \"...............\" are not 16"},
        {replaceLine(6, QStringLiteral("CH3 3 ....x...........")), "Line 6: the steps"},
        {replaceLine(7, QStringLiteral("CH25 3 ................")), "Line 7: \"CH25\" is no channel"},
        {replaceLine(7, QStringLiteral("CH1 3 ................")),
         "Line 7: channel 1 comes a second time (first on line 4)."},
        {replaceLine(11, QString()), "Channel 8 is missing"},
    };
    for (const Case& c : cases) {
        Recipe::ChannelLevels levels{};
        Recipe::ChannelMasks masks{};
        QString error;
        EXPECT_FALSE(ParsePosition(c.text, &levels, &masks, &error)) << c.error;
        EXPECT_TRUE(error.startsWith(QString::fromUtf8(c.error))) << error.toStdString();
        EXPECT_EQ(levels, Recipe::ChannelLevels{});
        EXPECT_EQ(masks, Recipe::ChannelMasks{});
    }
}

} // namespace
