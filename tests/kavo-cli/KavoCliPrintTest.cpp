// kavo-cli print, run as a program without a display; its PDF read back with poppler's tools.
#include "PrintedSheet.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <functional>
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

// Runs kavo-cli print without a display, and without the variables in unset.
CliRun Print(const QStringList& args, const QStringList& unset = {}) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString& name : QStringList{"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"} + unset) {
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

QByteArray Content(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

mode_t Kind(const QString& path) {
    struct stat st {};
    ::lstat(QFile::encodeName(path).constData(), &st);
    return st.st_mode & S_IFMT;
}

// Every page carries the SHA-256 of the recipe's 360-byte image, as the journal has it; a recipe printed
// from its file has no unsaved changes to mark.
TEST(KavoCliPrint, EveryPageCarriesTheRecipesHash) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QByteArray bytes = FileBytes(Fixture());
    const QString aid = Write(dir, QStringLiteral("r.aid"), bytes);
    const QString pdf = dir.filePath(QStringLiteral("r.pdf"));
    const CliRun run = Print({aid, "--pdf", pdf});
    ASSERT_EQ(run.code, 0) << run.err.toStdString();
    const QString sha =
        QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
    for (int page = 1; page <= 3; ++page) {
        SCOPED_TRACE(page);
        const QStringList words = Words(pdf, page);
        EXPECT_TRUE(words.contains(sha)) << words.join(' ').toStdString();
        EXPECT_FALSE(words.contains(QStringLiteral("Unsaved")));
    }
}

// The sheet never replaces the recipe it is printed from, under any of its names, nor anything but a
// regular file: a FIFO or a device node stays what it was, and nothing is left beside it.
TEST(KavoCliPrint, RefusesTheRecipeItselfAndAnythingButARegularFile) {
    struct Case {
        const char* what;
        std::function<QString(const QTemporaryDir&, const QString& aid)> target;
        QString message;
    };
    const QString itself = QStringLiteral("is the recipe being printed; nothing was written");
    const Case cases[] = {
        {"the recipe", [](const QTemporaryDir&, const QString& aid) { return aid; }, itself},
        {"the recipe spelt otherwise",
         [](const QTemporaryDir& dir, const QString&) { return dir.path() + QStringLiteral("/./r.aid"); },
         itself},
        {"a link to the recipe",
         [](const QTemporaryDir& dir, const QString& aid) {
             QFile::link(aid, dir.filePath(QStringLiteral("link.pdf")));
             return dir.filePath(QStringLiteral("link.pdf"));
         },
         itself},
        {"a hard link to the recipe",
         [](const QTemporaryDir& dir, const QString& aid) {
             const QString hard = dir.filePath(QStringLiteral("hard.pdf"));
             EXPECT_EQ(::link(QFile::encodeName(aid).constData(), QFile::encodeName(hard).constData()), 0);
             return hard;
         },
         itself},
        {"a FIFO",
         [](const QTemporaryDir& dir, const QString&) {
             const QString fifo = dir.filePath(QStringLiteral("pipe.pdf"));
             EXPECT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0644), 0);
             return fifo;
         },
         QStringLiteral("cannot write %1: it is a FIFO, not a regular file; nothing was written")},
        {"a device node",
         [](const QTemporaryDir& dir, const QString&) {
             const QString node = dir.filePath(QStringLiteral("null.pdf"));
             const int made = ::mknod(QFile::encodeName(node).constData(), S_IFCHR | 0666, makedev(1, 3));
             return made == 0 ? node : QString();
         },
         QStringLiteral("cannot write %1: it is a device, not a regular file; nothing was written")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        const QByteArray bytes = FileBytes(Fixture());
        const QString aid = Write(dir, QStringLiteral("r.aid"), bytes);
        const QString target = c.target(dir, aid);
        if (target.isEmpty()) {
            continue; // no device node can be made here
        }
        const mode_t kind = Kind(target);
        const QStringList entries =
            QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System);
        const CliRun run = Print({aid, "--pdf", target});
        EXPECT_EQ(run.code, 1);
        EXPECT_EQ(run.err,
                  QStringLiteral("kavo-cli print: ") +
                      (c.message == itself ? target + QLatin1Char(' ') + c.message : c.message.arg(target)) +
                      QLatin1Char('\n'));
        EXPECT_EQ(run.out, QString());
        EXPECT_EQ(Content(aid), bytes);
        EXPECT_EQ(Kind(target), kind);
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System), entries);
    }
}

// Without a session's runtime folder (cron, ssh, a service) nothing is said on standard error.
TEST(KavoCliPrint, SaysNothingOnStandardErrorWithoutARuntimeFolder) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString aid = Write(dir, QStringLiteral("r.aid"), FileBytes(Recipe()));
    const CliRun run = Print({aid, "--pdf", dir.filePath(QStringLiteral("r.pdf"))}, {"XDG_RUNTIME_DIR"});
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(run.err, QString());
    EXPECT_EQ(PageCount(dir.filePath(QStringLiteral("r.pdf"))), 3);
}

} // namespace
