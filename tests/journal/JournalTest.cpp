// The journal on its own: records as JSON lines and back, appending and reading a real file, the writer's
// thread, and the recipe's hash. (kavo-cli download and log, and the window's downloads and live sessions,
// are tested journalling with their programs.)
#include "DownloadJournal.h"
#include "JournalWriter.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <mutex>
#include <thread>
#include <vector>

namespace {

JournalRecord Failed() {
    JournalRecord r;
    r.time = QStringLiteral("2026-12-10T21:45:12.345Z");
    r.user = QStringLiteral("operator");
    r.port = QStringLiteral("COM3");
    r.device = QStringLiteral("/dev/ttyUSB0");
    r.byId = QStringLiteral("/dev/serial/by-id/usb-FTDI_FT232R_A50285BI-if00-port0");
    r.recipe = QStringLiteral("/home/operator/Lampe \"grün\".aid");
    r.sha256 = QString(64, QLatin1Char('a'));
    r.kind = QString::fromLatin1(kJournalDownload);
    r.frames = 56;
    r.result = QString::fromLatin1(kJournalFailed);
    r.failedFrame = 57;
    r.error = QStringLiteral("the adapter was unplugged or the line hung up");
    r.durationMs = 2870;
    return r;
}

JournalRecord Complete(int frames) {
    JournalRecord r = Failed();
    r.kind = QString::fromLatin1(kJournalLive);
    r.frames = frames;
    r.result = QString::fromLatin1(kJournalComplete);
    r.failedFrame = 0;
    r.error.clear();
    return r;
}

} // namespace

TEST(Journal, RecordsAreOneJsonLineEachAndReadBack) {
    for (const JournalRecord& r : {Failed(), Complete(12)}) {
        const QByteArray line = JournalLine(r);
        EXPECT_TRUE(line.endsWith('\n'));
        EXPECT_EQ(line.count('\n'), 1);
        EXPECT_EQ(ParseJournalLine(line.trimmed()), r);
        // The failure's frame and reason belong to failed records only.
        EXPECT_EQ(line.contains("\"failed_frame\""), r.result == QLatin1String(kJournalFailed))
            << line.data();
    }
    EXPECT_EQ(DescribeJournalResult(Failed()),
              QStringLiteral("failed after 56 frames: the adapter was unplugged or the line hung up"));
    EXPECT_EQ(DescribeJournalResult(Complete(1)), QStringLiteral("complete"));

    for (const char* notARecord : {"", "not json", "[1,2]", R"({"kind":"download","result":"complete"})",
                                   R"({"time":"t","result":"complete"})", R"({"time":"t","kind":"live"})",
                                   R"({"time":1,"kind":"live","result":"complete"})"}) {
        EXPECT_FALSE(ParseJournalLine(notARecord).has_value()) << notARecord;
    }
}

TEST(Journal, AppendsToAFileInAFolderItMakesAndReadsItBackCountingBadLines) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("state/kavo/journal.jsonl");
    QList<JournalRecord> records;
    int bad = -1;
    QString error;
    ASSERT_TRUE(ReadJournal(path, &records, &bad, &error)) << error.toStdString(); // none yet: empty
    EXPECT_TRUE(records.isEmpty());
    EXPECT_EQ(bad, 0);

    ASSERT_TRUE(AppendJournal(path, Failed(), &error)) << error.toStdString();
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::Append));
        f.write("half a line {\"time\n\n");
    }
    ASSERT_TRUE(AppendJournal(path, Complete(3), &error)) << error.toStdString();
    ASSERT_TRUE(ReadJournal(path, &records, &bad, &error)) << error.toStdString();
    EXPECT_EQ(records, (QList<JournalRecord>{Failed(), Complete(3)}));
    EXPECT_EQ(bad, 1);

    // Where no folder can be made, the append says so.
    QFile plain(dir.filePath("plain"));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    error.clear();
    EXPECT_FALSE(AppendJournal(dir.filePath("plain/kavo/journal.jsonl"), Failed(), &error));
    EXPECT_FALSE(error.isEmpty());
}

// The hash is that of the recipe's .aid file: written out here byte by byte from the file's layout.
TEST(Journal, NewRecordsCarryTheHashOfTheRecipesFile) {
    Recipe r;
    r.m_stepMasks[0][0][0] = 0x8001;
    r.m_levels[2][4][7] = 7;
    QByteArray file = QByteArray(240, '\0') + QByteArray(120, '\xFF');
    file[0] = '\x01';
    file[1] = '\x80';
    file[359] = '\x07';
    const QString sha =
        QString::fromLatin1(QCryptographicHash::hash(file, QCryptographicHash::Sha256).toHex());
    EXPECT_EQ(RecipeImageSha256(r), sha);

    const JournalRecord record =
        NewJournalRecord(kJournalDownload, QStringLiteral("COM7"), QString(), QString(), r);
    EXPECT_EQ(record.sha256, sha);
    EXPECT_EQ(record.recipe, QStringLiteral("Untitled"));
    EXPECT_EQ(record.port, QStringLiteral("COM7"));
    EXPECT_EQ(record.kind, QStringLiteral("download"));
    EXPECT_TRUE(record.device.isEmpty());
    EXPECT_TRUE(record.byId.isEmpty());
    EXPECT_TRUE(QRegularExpression(QStringLiteral(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z$)"))
                    .match(record.time)
                    .hasMatch())
        << record.time.toStdString();
}

// Records queued from several threads are all written, the last ones by the destructor; a journal that
// can't be written is told once, however many records fail.
TEST(Journal, TheWriterWritesEverythingQueuedAndTellsAFailureOnce) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("kavo/journal.jsonl");
    {
        JournalWriter writer(path, [](const QString& error) { ADD_FAILURE() << error.toStdString(); });
        std::vector<std::jthread> senders;
        for (int t = 0; t < 4; ++t) {
            senders.emplace_back([&writer, t] {
                for (int i = 0; i < 25; ++i) {
                    writer.Append(Complete(t * 100 + i));
                }
            });
        }
    }
    QList<JournalRecord> records;
    int bad = 0;
    QString error;
    ASSERT_TRUE(ReadJournal(path, &records, &bad, &error));
    EXPECT_EQ(records.size(), 100);
    EXPECT_EQ(bad, 0);

    QFile plain(dir.filePath("plain"));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    std::mutex mutex;
    QStringList told;
    {
        JournalWriter writer(dir.filePath("plain/journal.jsonl"), [&](const QString& e) {
            std::lock_guard lock(mutex);
            told << e;
        });
        for (int i = 0; i < 5; ++i) {
            writer.Append(Failed());
        }
    }
    EXPECT_EQ(told.size(), 1) << told.join('\n').toStdString();
}
