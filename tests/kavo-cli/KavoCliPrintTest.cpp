// kavo-cli print, run as a program without a display; its PDF read back with poppler's tools.
#include "PrintedSheet.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <ostream>

// Readable QStrings in test failures.
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace {

using namespace printed_sheet;

struct CliRun {
    int code;
    QString out;
    QString err;
};

CliRun Print(const QStringList& args) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        env.remove(name);
    }
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(KAVO_CLI), QStringList{"print"} + args);
    EXPECT_TRUE(p.waitForFinished(60000)) << "kavo-cli print did not end";
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

QString Write(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes) {
    QFile f(dir.filePath(name));
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
    return f.fileName();
}

TEST(KavoCliPrint, WritesOnePagePerCameraOnA4AndLetter) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const Recipe recipe = Fixture();
    const QString aid = Write(dir, QStringLiteral("line 3.aid"), FileBytes(recipe));
    struct Case {
        QStringList options;
        QPageSize::PageSizeId paper;
        QString points;
    };
    const Case cases[] = {
        {{}, QPageSize::A4, QStringLiteral("595 x 842")},
        {{"--page-size", "Letter"}, QPageSize::Letter, QStringLiteral("612 x 792")},
        {{"--page-size", "a4"}, QPageSize::A4, QStringLiteral("595 x 842")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options.join(' ').toStdString());
        const QString pdf = dir.filePath(QStringLiteral("out.pdf"));
        QFile::remove(pdf);
        const CliRun run = Print(QStringList{aid, "--pdf", pdf} + c.options);
        ASSERT_EQ(run.code, 0) << run.err.toStdString();
        EXPECT_TRUE(run.out.contains(QStringLiteral("3 pages"))) << run.out.toStdString();
        ASSERT_EQ(PageCount(pdf), 3);
        EXPECT_EQ(PageSizeText(pdf), c.points);

        const QStringList words = Words(pdf, 2);
        EXPECT_TRUE(words.contains(QStringLiteral("line"))) << words.join(' ').toStdString();
        EXPECT_TRUE(words.contains(QStringLiteral("3.aid")));
        for (const auto& position : recipe.m_levels[1]) {
            for (std::uint8_t level : position) {
                EXPECT_TRUE(words.contains(QString::number(level))) << int(level);
            }
        }

        // The same layout as the PDF's: the paper with the sheet's default margins.
        QPageLayout layout(QPageSize(c.paper), QPageLayout::Portrait,
                           QMarginsF(RecipeSheet::kDefaultMarginMm, RecipeSheet::kDefaultMarginMm,
                                     RecipeSheet::kDefaultMarginMm, RecipeSheet::kDefaultMarginMm),
                           QPageLayout::Millimeter);
        constexpr int kDpi = 100;
        const PageSquares squares = ReadSquares(Render(pdf, 2, kDpi, dir), layout, kDpi);
        EXPECT_EQ(squares.filled, LitSteps(recipe, 2));
        for (std::size_t p = 0; p < 5; ++p) {
            EXPECT_EQ(squares.masks[p], recipe.m_stepMasks[1][p]) << "position " << p + 1;
        }
    }
}

TEST(KavoCliPrint, BadInputIsToldAndLeavesAnExistingPdfAlone) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString good = Write(dir, QStringLiteral("good.aid"), FileBytes(Recipe()));
    const QString shortFile = Write(dir, QStringLiteral("short.aid"), QByteArray(359, '\0'));
    const QString kept = Write(dir, QStringLiteral("kept.pdf"), QByteArray("not touched"));
    struct Case {
        QStringList args;
        int code;
        QString message;
    };
    const Case cases[] = {
        {{dir.filePath("missing.aid"), "--pdf", kept}, 1, "missing.aid was not found."},
        {{shortFile, "--pdf", kept}, 1, shortFile + " is 359 bytes; a recipe file is 360 bytes."},
        {{good}, 2, "--pdf OUT.pdf is needed"},
        {{good, "--pdf", kept, "--page-size", "A5"}, 2, "unknown page size 'A5' (A4 or Letter)"},
        {{good, "--pdf", dir.filePath("no/such/folder.pdf")}, 1, "cannot write"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        const CliRun run = Print(c.args);
        EXPECT_EQ(run.code, c.code);
        EXPECT_TRUE(run.err.contains(c.message)) << run.err.toStdString();
        QFile pdf(kept);
        ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
        EXPECT_EQ(pdf.readAll(), QByteArray("not touched"));
    }
}

} // namespace
