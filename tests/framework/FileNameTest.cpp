// File names as bytes: decoded and encoded again without loss, and shown without control characters.
#include "FileName.h"
#include "FileTestSupport.h"

#include <gtest/gtest.h>

namespace {

// Every name comes back byte for byte, valid UTF-8 or not; valid UTF-8 decodes as UTF-8.
TEST(FileName, DecodingAndEncodingGiveBackEveryByte) {
    const struct {
        const char* what;
        QByteArray native;
        bool utf8;
    } cases[] = {
        {"ASCII", "/tmp/r.aid", true},
        {"UTF-8 of two, three and four bytes", "/tmp/\xC3\xA9\xE4\xB8\xB2\xF0\x9F\x92\xA1.aid", true},
        {"Latin-1", "/tmp/caf\xE9.aid", false},
        {"GBK", "/tmp/\xB4\xAE\xBF\xDA.aid", false},
        {"a stray continuation byte", "a\x80z", false},
        {"a sequence cut short at the end", "a\xE4\xB8", false},
        {"an overlong slash", "a\xC0\xAFz", false},
        {"an encoded surrogate", "a\xED\xB2\x80z", false},
        {"beyond U+10FFFF", "a\xF4\x90\x80\x80z", false},
        {"every byte from 1 to 255",
         [] {
             QByteArray all;
             for (int b = 1; b < 256; ++b) {
                 all += static_cast<char>(b);
             }
             return all;
         }(),
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const QString name = DecodeFileName(c.native);
        EXPECT_EQ(EncodeFileName(name), c.native);
        if (c.utf8) {
            EXPECT_EQ(name, QString::fromUtf8(c.native));
        }
    }
    const char* argv[] = {"kavo-cli", "show", "caf\xE9.aid"};
    EXPECT_EQ(DecodeArguments(3, argv),
              (QStringList{"kavo-cli", "show", DecodeFileName(QByteArray("caf\xE9.aid"))}));
}

TEST(FileName, ShownWithoutControlCharacters) {
    const struct {
        QByteArray native;
        QString shown;
    } cases[] = {
        {"plain name.aid", "plain name.aid"},
        {"caf\xC3\xA9 \xE4\xB8\xB2.aid", QString::fromUtf8("caf\xC3\xA9 \xE4\xB8\xB2.aid")},
        {"two\nlines.aid", "two\\nlines.aid"},
        {"tab\there", "tab\\x09here"},
        {"\x1B[31mred", "\\x1b[31mred"},
        {"carriage\rreturn", "carriage\\x0dreturn"},
        {"del\x7F", "del\\x7f"},
        {"csi\xC2\x9B", "csi\\u009b"},
        {"latin1 caf\xE9", "latin1 caf\\xe9"},
        {"back\\slash", "back\\slash"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.native.toStdString());
        EXPECT_EQ(DisplayFileName(DecodeFileName(c.native)), c.shown);
        EXPECT_EQ(
            DisplayFileName(std::string_view(c.native.constData(), static_cast<size_t>(c.native.size()))),
            c.shown.toStdString());
    }
}

} // namespace

// A quote of pasted input stays short and on one line, whatever it holds; the cut never splits a character.
TEST(FileName, ExcerptsAreShortEscapedAndCutWhole) {
    const QString emoji = QString::fromUtf8("\xF0\x9F\x98\x80"); // a surrogate pair
    const struct {
        QString text;
        int maxChars;
        QString shown;
    } cases[] = {
        {"short line", 60, "short line"},
        {QString(60, 'a'), 60, QString(60, 'a')},
        {QString(61, 'a'), 60, QString(59, 'a') + QChar(0x2026)},
        {QString(10'000'000, 'x'), 8, "xxxxxxx" + QString(QChar(0x2026))},
        {"ab\ncd", 60, "ab\\ncd"},
        {"abcd\x1B[2J", 8, "abcd" + QString(QChar(0x2026))}, // the escape "\x1b" is not cut in half
        {"abcdef" + emoji + "z", 8, "abcdef" + QString(QChar(0x2026))}, // nor the pair
        {"abcde" + emoji, 8, "abcde" + emoji},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.left(20).toStdString());
        const QString shown = DisplayExcerpt(c.text, c.maxChars);
        EXPECT_EQ(shown, c.shown);
        EXPECT_LE(shown.size(), c.maxChars);
    }
}
