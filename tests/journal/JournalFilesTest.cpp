// The journal's files: what they may be, rotation, the order records are read in, and the reading of the
// last records from the end. Real files, FIFOs and device nodes in a temporary folder.
#include "DownloadJournal.h"
#include "FileName.h"
#include "JournalWriter.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <future>
#include <thread>

using namespace std::chrono_literals;

namespace {

const QDateTime kBase(QDate(2026, 5, 1), QTime(8, 0), Qt::UTC);

// A record that started `second` seconds after kBase.
JournalRecord Record(int second, const char* kind = kJournalDownload, qint64 durationMs = 9600) {
    JournalRecord r;
    r.time = kBase.addSecs(second).toString(Qt::ISODateWithMs);
    r.user = QStringLiteral("op");
    r.port = QStringLiteral("COM3");
    r.recipe = QStringLiteral("/recipes/r%1.aid").arg(second);
    r.sha256 = QString(64, QLatin1Char('a'));
    r.kind = QString::fromLatin1(kind);
    r.frames = 192;
    r.result = QString::fromLatin1(kJournalComplete);
    r.durationMs = durationMs;
    return r;
}

QStringList Recipes(const QList<JournalRecord>& records) {
    QStringList out;
    for (const JournalRecord& r : records) {
        out << r.recipe.section(QLatin1Char('/'), -1);
    }
    return out;
}

void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

QByteArray ReadFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(missing)");
}

// Runs fn, which must not wait on the FIFO at fifo. Should it wait all the same (the fault looked for),
// the FIFO is given a reader and a writer for a moment, so that the test fails instead of hanging.
template <class Fn> auto WithoutWaiting(const QString& fifo, Fn fn) {
    auto result = std::async(std::launch::async, std::move(fn));
    if (result.wait_for(10s) != std::future_status::ready) {
        ADD_FAILURE() << "waited on the FIFO " << fifo.toStdString();
        const int fd = ::open(QFile::encodeName(fifo).constData(), O_RDWR | O_NONBLOCK);
        std::this_thread::sleep_for(500ms);
        ::close(fd);
    }
    return result.get();
}

class Journal : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }
    QString Path(const QString& name) const { return m_dir.filePath(name); }
    QString Fifo(const QString& name) const {
        EXPECT_EQ(::mkfifo(QFile::encodeName(Path(name)).constData(), 0600), 0);
        return Path(name);
    }
    // A node of the null device (1, 3) of our own; empty where this process may not make one.
    QString NullDevice(const QString& name) const {
        const int made = ::mknod(QFile::encodeName(Path(name)).constData(), S_IFCHR | 0666, makedev(1, 3));
        return made == 0 ? Path(name) : QString();
    }
    static mode_t Kind(const QString& path) {
        struct stat st {};
        ::lstat(QFile::encodeName(path).constData(), &st);
        return st.st_mode & S_IFMT;
    }

    QTemporaryDir m_dir;
};

// A journal that is a FIFO (with a reader or without), a device or a folder is neither written nor read,
// nor waited on: it is said once what it is, and the node stays as it was.
TEST_F(Journal, OnlyARegularFileIsWrittenOrReadAndNothingWaits) {
    struct Case {
        const char* what;
        QString path;
        const char* kind;
    };
    const QString heldFifo = Fifo(QStringLiteral("held.jsonl"));
    const int reader = ::open(QFile::encodeName(heldFifo).constData(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    std::vector<Case> cases = {
        {"a FIFO nobody reads", Fifo(QStringLiteral("fifo.jsonl")), "a FIFO"},
        {"a FIFO another program reads", heldFifo, "a FIFO"},
        {"a folder", Path(QStringLiteral("folder.jsonl")), "a folder"},
    };
    QDir().mkpath(cases.back().path);
    if (const QString device = NullDevice(QStringLiteral("null.jsonl")); !device.isEmpty()) {
        cases.push_back({"a device", device, "a device"});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const mode_t before = Kind(c.path);
        const QString expected = QStringLiteral(": it is %1, not a regular file").arg(QLatin1String(c.kind));
        QString error;
        EXPECT_FALSE(WithoutWaiting(c.path, [&] { return AppendJournal(c.path, Record(1), &error); }));
        EXPECT_EQ(error, QStringLiteral("cannot write ") + c.path + expected);
        EXPECT_EQ(Kind(c.path), before);

        if (c.path != heldFifo) { // a reader of that one would wait for its other reader's writer
            QList<JournalRecord> records;
            int bad = 0;
            error.clear();
            EXPECT_FALSE(WithoutWaiting(c.path, [&] { return ReadJournal(c.path, &records, &bad, &error); }));
            EXPECT_EQ(error, QStringLiteral("cannot read ") + c.path + expected);
        }
    }
    char byte = 0;
    EXPECT_LE(::read(reader, &byte, 1), 0) << "something was written into the FIFO";
    ::close(reader);
}

// The window's writer: a FIFO journal is told once however many records come, and the writer's end (the
// window's exit) does not wait for it.
TEST_F(Journal, WriterTellsAFifoOnceAndEndsWithoutWaiting) {
    const QString fifo = Fifo(QStringLiteral("journal.jsonl"));
    std::atomic<int> told{0};
    QString said;
    WithoutWaiting(fifo, [&] {
        JournalWriter writer(fifo, [&](const QString& error) {
            said = error;
            ++told;
        });
        writer.Append(Record(1));
        writer.Append(Record(2, kJournalLive));
        return 0; // the destructor writes what is queued, then joins
    });
    EXPECT_EQ(told.load(), 1);
    EXPECT_TRUE(said.endsWith(QStringLiteral("it is a FIFO, not a regular file"))) << said.toStdString();
}

// Past 10 MB the journal becomes journal.jsonl.1, replacing the older one kept there, and the record starts
// a new journal.jsonl; both are read, the older first.
TEST_F(Journal, RotatesPastTenMegabytesKeepingOneOlderFile) {
    const QString path = Path(QStringLiteral("kavo/journal.jsonl"));
    QDir().mkpath(Path(QStringLiteral("kavo")));
    WriteFile(PreviousJournalPath(path), JournalLine(Record(0))); // the one before: dropped
    // Records with long names, so that 10 MB are a few thousand of them.
    const auto LongNamed = [](int second) {
        JournalRecord r = Record(second);
        r.recipe += QString(4000, QLatin1Char('n'));
        return r;
    };
    QByteArray full;
    int filler = 0;
    while (full.size() + 8192 < kJournalRotateBytes) {
        full += JournalLine(LongNamed(++filler));
    }
    WriteFile(path, full);

    // A record that still fits is appended.
    QString error;
    const JournalRecord fits = Record(filler + 1);
    ASSERT_LT(full.size() + JournalLine(fits).size(), kJournalRotateBytes);
    ASSERT_TRUE(AppendJournal(path, fits, &error)) << error.toStdString();
    full += JournalLine(fits);
    EXPECT_EQ(ReadFile(path), full);

    // The one that would pass the mark goes to a new file.
    JournalRecord big = Record(filler + 2);
    big.error = QString(static_cast<qsizetype>(kJournalRotateBytes - full.size()), QLatin1Char('x'));
    big.result = QString::fromLatin1(kJournalFailed);
    ASSERT_TRUE(AppendJournal(path, big, &error)) << error.toStdString();
    EXPECT_EQ(ReadFile(PreviousJournalPath(path)), full);
    EXPECT_EQ(ReadFile(path), JournalLine(big));
    ASSERT_TRUE(AppendJournal(path, Record(filler + 3), &error));
    EXPECT_EQ(ReadFile(PreviousJournalPath(path)), full);
    EXPECT_EQ(ReadFile(path), JournalLine(big) + JournalLine(Record(filler + 3)));

    QList<JournalRecord> records;
    int bad = 0;
    ASSERT_TRUE(ReadJournal(path, &records, &bad, &error)) << error.toStdString();
    EXPECT_EQ(bad, 0);
    ASSERT_EQ(records.size(), filler + 3);
    EXPECT_EQ(records.first(), LongNamed(1));
    EXPECT_EQ(records.last(), Record(filler + 3));
    EXPECT_FALSE(QFile::exists(path + QStringLiteral(".2")));
}

// A live session is written at its end, after records that started later: reading puts each in order of
// start, whole or from the end, across both files. A line too long to be a record and one that is no record
// are counted and left out either way.
TEST_F(Journal, RecordsComeInOrderOfStartWholeOrFromTheEnd) {
    const QString path = Path(QStringLiteral("journal.jsonl"));
    WriteFile(PreviousJournalPath(path), JournalLine(Record(1)) + JournalLine(Record(2)));
    JournalRecord live = Record(3, kJournalLive, 4000); // from second 3 to second 7
    live.recipe = QStringLiteral("/recipes/live.aid");
    WriteFile(path, JournalLine(Record(5)) + QByteArray(70000, 'x') + "\n" + JournalLine(live) +
                        "not json\n" + JournalLine(Record(8)) + JournalLine(Record(8)).replace("r8", "r8b"));

    const QStringList all = {"r1.aid", "r2.aid", "live.aid", "r5.aid", "r8.aid", "r8b.aid"};
    QList<JournalRecord> records;
    int bad = 0;
    QString error;
    ASSERT_TRUE(ReadJournal(path, &records, &bad, &error)) << error.toStdString();
    EXPECT_EQ(Recipes(records), all);
    EXPECT_EQ(bad, 2);

    for (qsizetype n = 0; n <= all.size() + 1; ++n) {
        SCOPED_TRACE(n);
        ASSERT_TRUE(ReadJournalTail(path, n, &records, &bad, &error)) << error.toStdString();
        EXPECT_EQ(Recipes(records), all.mid(std::max<qsizetype>(0, all.size() - n)));
    }
    EXPECT_EQ(bad, 2); // the whole journal was read for the last 7
}

// The journal keeps a file name's bytes (the program's lone surrogates travel as \udcNN) and every text as it
// was; "failed" counts the frames written, as the FRAMES column does.
TEST_F(Journal, KeepsNamesAndTextsAsTheyAreAndCountsFramesWritten) {
    JournalRecord r = Record(1);
    r.recipe = DecodeFileName(QByteArray("/recipes/r\xff\x1b[31m%1.aid"));
    r.result = QString::fromLatin1(kJournalFailed);
    r.frames = 56;
    r.failedFrame = 57;
    r.error = QStringLiteral("hung up %1 %2\n");
    const QByteArray line = JournalLine(r);
    EXPECT_TRUE(line.contains("r\\udcff\\u001b[31m%1.aid")) << line.toStdString();
    EXPECT_EQ(ParseJournalLine(line), r);
    EXPECT_EQ(EncodeFileName(ParseJournalLine(line)->recipe), QByteArray("/recipes/r\xff\x1b[31m%1.aid"));

    EXPECT_EQ(DescribeJournalResult(r), QStringLiteral("failed after 56 frames: hung up %1 %2\n"));
    r.frames = 1;
    EXPECT_EQ(DescribeJournalResult(r), QStringLiteral("failed after 1 frame: hung up %1 %2\n"));
    r.frames = 0;
    EXPECT_EQ(DescribeJournalResult(r), QStringLiteral("failed before the first frame: hung up %1 %2\n"));
    EXPECT_EQ(DescribeJournalResult(Record(1)), QStringLiteral("complete"));
}

} // namespace
