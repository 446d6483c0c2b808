// The controller session without a window: downloads and live sessions on a pseudo-terminal, what they
// journal, the controller state, and the signals a window binds.
#include "ControllerSession.h"
#include "CKAVODoc.h"
#include "CSerialPortBase.h"
#include "DownloadFrame.h"
#include "FarEnd.h"
#include "PtyPair.h"
#include "SessionJournal.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>

using namespace std::chrono_literals;

namespace {

// Processes events until done() or a bound only a hang reaches.
bool WaitFor(const std::function<bool()>& done) {
    const auto end = std::chrono::steady_clock::now() + 30s;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return true;
}

// A session over a machine whose only port, COM3, is a pseudo-terminal, journalling into a scratch folder.
class ControllerSessionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        for (const char* sub : {"ports", "sys/class/tty", "dev"}) {
            ASSERT_TRUE(QDir(m_dir.path()).mkpath(QLatin1String(sub)));
        }
        // A recipe in which every level and mask differs.
        for (int c = 0; c < 3; ++c) {
            for (int p = 0; p < 5; ++p) {
                for (int ch = 0; ch < 8; ++ch) {
                    doc.SetLevel(c + 1, p + 1, ch + 1, static_cast<std::uint8_t>(1 + c * 40 + p * 8 + ch));
                    doc.SetMask(c + 1, p + 1, ch + 1,
                                static_cast<std::uint16_t>(0x1111 * (c + 1) + p * 0x10 + ch));
                }
            }
        }
    }
    void TearDown() override {
        far.reset();
        session.reset();
    }

    // A fresh line entered as COM3, and a session paced at frameInterval (none yet: a new one).
    void NewLine() {
        far.reset();
        pty = std::make_unique<PtyPair>();
        ASSERT_TRUE(pty->ok());
        const QString entry = m_dir.filePath(QStringLiteral("ports/COM3"));
        QFile::remove(entry);
        ASSERT_TRUE(QFile::link(QString::fromStdString(pty->slaveName), entry));
        far = std::make_unique<FarEnd>(*pty);
    }
    // stalled: the far end never reads and its input is full; a write waits 50 ms beyond its line time.
    void Start(std::chrono::milliseconds frameInterval = 2ms, bool stalled = false) {
        NewLine();
        DownloadWorker::Options options;
        options.frameInterval = frameInterval;
        options.beepLength = 1ms;
        if (stalled) {
            far.reset();
            pty = std::make_unique<PtyPair>(PtyPair::Options{.holdSlave = true});
            const QString entry = m_dir.filePath(QStringLiteral("ports/COM3"));
            QFile::remove(entry);
            ASSERT_TRUE(QFile::link(QString::fromStdString(pty->slaveName), entry));
            ASSERT_TRUE(pty->FillUntilStalled());
            options.writeMargin = 50ms;
        }
        const PortNameTable table(m_dir.filePath(QStringLiteral("ports")).toStdString(),
                                  m_dir.filePath(QStringLiteral("sys")).toStdString(),
                                  m_dir.filePath(QStringLiteral("dev")).toStdString());
        session = std::make_unique<ControllerSession>(table, nullptr, options, JournalPath());
        session->SetDocument(&doc);
        session->SetChosenPort([] { return std::string("COM3"); });
        session->Open("COM3");
        ASSERT_TRUE(session->IsOpen());
    }
    QString JournalPath() const { return m_dir.filePath(QStringLiteral("state/journal.jsonl")); }
    // The journal once it holds at least atLeast records (its writer has a thread of its own).
    QList<JournalRecord> Journal(qsizetype atLeast = 0) const {
        QList<JournalRecord> records;
        WaitFor([&] {
            records.clear();
            int bad = 0;
            QString error;
            ReadJournal(JournalPath(), &records, &bad, &error);
            return records.size() >= atLeast;
        });
        return records;
    }
    // Downloads the document's recipe and waits for the session's end notice.
    DownloadResult Download() {
        QSignalSpy ended(session.get(), &ControllerSession::downloadEnded);
        EXPECT_EQ(session->StartDownload(), DownloadStartResult::Started);
        EXPECT_TRUE(WaitFor([&] { return ended.size() == 1; }));
        return ended.isEmpty() ? DownloadResult() : ended[0][0].value<DownloadResult>();
    }

    QTemporaryDir m_dir;
    CKAVODoc doc;
    std::unique_ptr<PtyPair> pty;
    std::unique_ptr<FarEnd> far;
    std::unique_ptr<ControllerSession> session;
};

// A complete download journals complete, its notices come in order, and the controller matches the recipe
// until an edit, which the state counts.
TEST_F(ControllerSessionTest, ACompleteDownloadIsJournalledAndTheControllerMatches) {
    Start();
    const QString sha = RecipeImageSha256(doc.GetRecipe());
    EXPECT_EQ(session->ControllerState(), QStringLiteral("Controller: not yet written from here"));
    QStringList states;
    QObject::connect(session.get(), &ControllerSession::controllerStateChanged,
                     [&](const QString& text) { states << text; });
    QSignalSpy started(session.get(), &ControllerSession::downloadStarted);
    QSignalSpy progress(session.get(), &ControllerSession::downloadProgress);
    QSignalSpy succeeded(session.get(), &ControllerSession::downloadSucceeded);
    QSignalSpy closed(session.get(), &ControllerSession::closed);
    QSignalSpy ended(session.get(), &ControllerSession::downloadEnded);

    const DownloadResult result = Download();
    EXPECT_TRUE(result.ok);
    EXPECT_FALSE(ended[0][1].toBool()); // the port stays open
    EXPECT_TRUE(session->IsOpen());
    EXPECT_TRUE(closed.isEmpty());
    EXPECT_EQ(started.size(), 1);
    ASSERT_EQ(progress.size(), 192);
    for (int n = 1; n <= 192; ++n) {
        EXPECT_EQ(progress[n - 1][0].toInt(), n);
    }
    EXPECT_EQ(succeeded.size(), 1);
    EXPECT_EQ(states, (QStringList{QStringLiteral("Controller: receiving a download"),
                                   QStringLiteral("Controller: matches this recipe")}));
    EXPECT_TRUE(far->WaitFor(192));

    const QList<JournalRecord> records = Journal(1);
    ASSERT_EQ(records.size(), 1);
    const JournalRecord& r = records[0];
    EXPECT_EQ(r.kind, QStringLiteral("download"));
    EXPECT_EQ(r.result, QStringLiteral("complete"));
    EXPECT_EQ(r.frames, 192);
    EXPECT_EQ(r.failedFrame, 0);
    EXPECT_EQ(r.port, QStringLiteral("COM3"));
    EXPECT_EQ(r.device, QString::fromStdString(pty->slaveName));
    EXPECT_EQ(r.recipe, QStringLiteral("Untitled"));
    EXPECT_EQ(r.sha256, sha);
    EXPECT_TRUE(r.time.endsWith(QLatin1Char('Z')));
    EXPECT_FALSE(r.user.isEmpty());

    ASSERT_TRUE(doc.SetLevel(1, 1, 1, 200));
    EXPECT_EQ(session->ControllerState(), QStringLiteral("Controller: 1 setting differs from this recipe"));
    ASSERT_TRUE(doc.SetMask(3, 4, 8, 0));
    EXPECT_EQ(session->ControllerState(), QStringLiteral("Controller: 2 settings differ from this recipe"));
    ASSERT_TRUE(doc.SetLevel(1, 5, 1, 9)); // position 5 is not the controller's
    EXPECT_EQ(session->ControllerState(), QStringLiteral("Controller: 2 settings differ from this recipe"));
}

// The controller's end goes away: the download is journalled failed at the frame whose write failed, with
// the port's reason; the port is closed (its device is gone) and the controller is unknown.
TEST_F(ControllerSessionTest, AFailedDownloadIsJournalledFailedAtItsFrame) {
    struct Case {
        const char* name;
        std::size_t framesBeforeHangUp; // 0: gone before the download starts
    };
    const Case cases[] = {{"mid-download", 20}, {"before the first frame", 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(JournalPath());
        Start(5ms);
        QSignalSpy closed(session.get(), &ControllerSession::closed);
        QSignalSpy ended(session.get(), &ControllerSession::downloadEnded);
        if (c.framesBeforeHangUp == 0) {
            far->Stop();
            pty->CloseMaster();
        }
        ASSERT_EQ(session->StartDownload(), DownloadStartResult::Started);
        if (c.framesBeforeHangUp > 0) {
            ASSERT_TRUE(far->WaitFor(c.framesBeforeHangUp));
            far->Stop();
            pty->CloseMaster();
        }
        ASSERT_TRUE(WaitFor([&] { return ended.size() == 1; }));
        const auto result = ended[0][0].value<DownloadResult>();
        EXPECT_FALSE(result.ok);
        EXPECT_GE(result.framesSent, static_cast<int>(c.framesBeforeHangUp));
        EXPECT_LT(result.framesSent, 192);
        EXPECT_TRUE(ended[0][1].toBool());
        EXPECT_EQ(closed.size(), 1);
        EXPECT_FALSE(session->IsOpen());
        EXPECT_EQ(session->ControllerState(),
                  QStringLiteral("Controller: unknown (last download did not finish)"));

        const QList<JournalRecord> records = Journal(1);
        ASSERT_EQ(records.size(), 1);
        EXPECT_EQ(records[0].result, QStringLiteral("failed"));
        EXPECT_EQ(records[0].frames, result.framesSent);
        EXPECT_EQ(records[0].failedFrame, result.framesSent + 1);
        EXPECT_EQ(records[0].error, QStringLiteral("the adapter was unplugged or the line hung up"));
    }
}

// A session that ends while its download runs stops it and journals it stopped; a second download is
// refused while one runs.
TEST_F(ControllerSessionTest, EndingTheSessionMidDownloadJournalsItStopped) {
    Start(10ms);
    ASSERT_EQ(session->StartDownload(), DownloadStartResult::Started);
    EXPECT_EQ(session->StartDownload(), DownloadStartResult::AlreadyRunning);
    EXPECT_FALSE(session->Close()); // the worker writes to the port until its end
    ASSERT_TRUE(far->WaitFor(10));
    session.reset();
    const QList<JournalRecord> records = Journal(1);
    ASSERT_EQ(records.size(), 1);
    EXPECT_EQ(records[0].result, QStringLiteral("stopped"));
    EXPECT_GE(records[0].frames, 10);
    EXPECT_LT(records[0].frames, 192);
    EXPECT_EQ(records[0].failedFrame, 0);
}

// A live session is journalled when it wrote frames, and not when it wrote none.
TEST_F(ControllerSessionTest, ALiveSessionIsJournalledOnlyWhenItWroteFrames) {
    struct Case {
        const char* name;
        std::function<void(CKAVODoc&)> edit;
        int frames; // -1: not journalled
    };
    const Case cases[] = {
        {"no edit", [](CKAVODoc&) {}, -1},
        {"position 5 only", [](CKAVODoc& d) { d.SetMask(2, 5, 1, 0xFFFF); }, -1},
        {"two edits", [](CKAVODoc& d) { d.SetLevel(1, 1, 1, 99), d.SetMask(3, 4, 8, 0x8001); }, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(JournalPath());
        Start();
        QSignalSpy notes(session.get(), &ControllerSession::statusMessage);
        ASSERT_TRUE(session->StartLive());
        ASSERT_TRUE(session->IsLive());
        c.edit(doc);
        if (c.frames > 0) {
            ASSERT_TRUE(far->WaitFor(static_cast<std::size_t>(c.frames)));
        }
        QThread::msleep(30);
        session->StopLive();
        EXPECT_FALSE(session->IsLive());
        session.reset(); // the journal's queue is written
        const QList<JournalRecord> records = Journal();
        if (c.frames < 0) {
            EXPECT_TRUE(records.isEmpty());
            EXPECT_EQ(far->Frames().size(), 0u);
        } else {
            ASSERT_EQ(records.size(), 1);
            EXPECT_EQ(records[0].kind, QStringLiteral("live"));
            EXPECT_EQ(records[0].result, QStringLiteral("complete"));
            EXPECT_EQ(records[0].frames, c.frames);
            EXPECT_EQ(records[0].sha256, RecipeImageSha256(doc.GetRecipe())); // the recipe it ended with
        }
        EXPECT_EQ(notes.size(), QString(c.name) == QLatin1String("position 5 only") ? 1 : 0);
    }
}

// The far end hangs up while the port is open and Live is on: the session closes the port, tells of the
// lost line once, and journals the live session failed (a session cut off by the line is kept even before
// its first frame).
TEST_F(ControllerSessionTest, ALostLineClosesThePortAndEndsLive) {
    Start();
    ASSERT_TRUE(session->StartLive());
    QSignalSpy lost(session.get(), &ControllerSession::lineLost);
    QSignalSpy closed(session.get(), &ControllerSession::closed);
    far->Stop();
    pty->CloseMaster();
    ASSERT_TRUE(WaitFor([&] { return lost.size() == 1; }));
    EXPECT_EQ(lost[0][0].toString(), QStringLiteral("COM3"));
    EXPECT_TRUE(lost[0][1].toBool());
    EXPECT_EQ(closed.size(), 1);
    EXPECT_FALSE(session->IsOpen());
    EXPECT_FALSE(session->IsLive());
    session->LoseLine(); // udev's remove of the same adapter, afterwards: nothing more
    EXPECT_EQ(lost.size(), 1);

    const QList<JournalRecord> records = Journal(1);
    ASSERT_EQ(records.size(), 1);
    EXPECT_EQ(records[0].kind, QStringLiteral("live"));
    EXPECT_EQ(records[0].result, QStringLiteral("failed"));
    EXPECT_EQ(records[0].failedFrame, 1);
    EXPECT_EQ(records[0].error, QStringLiteral("the adapter was unplugged or the line hung up"));
}

// Once the port is closed another program may write to the controller: what this run delivered is forgotten,
// and the controller is unknown until this run writes again. A port never written stays "not yet written".
TEST_F(ControllerSessionTest, ClosingThePortForgetsWhatWasDelivered) {
    const QString unknown =
        QStringLiteral("Controller: unknown (the port was closed since the last write from here)");
    Start();
    ASSERT_TRUE(session->Close());
    NewLine(); // the far end of a pseudo-terminal reads no more once nothing holds the line open
    session->Open("COM3");
    EXPECT_EQ(session->ControllerState(), QStringLiteral("Controller: not yet written from here"));

    ASSERT_TRUE(Download().ok);
    EXPECT_EQ(session->ControllerState(), QStringLiteral("Controller: matches this recipe"));
    ASSERT_TRUE(session->Close());
    EXPECT_EQ(session->ControllerState(), unknown); // of the chosen port, COM3
    NewLine();
    session->Open("COM3");
    ASSERT_TRUE(session->IsOpen());
    EXPECT_EQ(session->ControllerState(), unknown);
    EXPECT_EQ(session->Link().Memory().KnownCount(), 0); // live frames skip nothing they sent before

    ASSERT_TRUE(session->StartLive());
    ASSERT_TRUE(doc.SetLevel(1, 1, 1, 77));
    ASSERT_TRUE(far->WaitFor(1));
    ASSERT_TRUE(WaitFor([&] { return session->ControllerState() != unknown; }));
    EXPECT_EQ(session->ControllerState(),
              QStringLiteral("Controller: unknown (only 1 of 192 settings written from here)"));
    session->StopLive();
    ASSERT_TRUE(Download().ok);
    EXPECT_EQ(session->ControllerState(), QStringLiteral("Controller: matches this recipe"));
}

// The status notes say what holds now: "Download complete" after a complete download until the next one
// starts; the position 5 note while position 5 is shown and Live is on.
TEST_F(ControllerSessionTest, StatusNotesAreWithdrawnWhenTheyNoLongerHold) {
    Start();
    QStringList said;
    QStringList withdrawn;
    QObject::connect(session.get(), &ControllerSession::statusMessage, [&](const QString& t) { said << t; });
    QObject::connect(session.get(), &ControllerSession::statusMessageWithdrawn,
                     [&](const QString& t) { withdrawn << t; });
    const QString complete = QStringLiteral("Download complete: 192 frames");
    ASSERT_TRUE(Download().ok);
    EXPECT_EQ(said, QStringList{complete});
    EXPECT_TRUE(withdrawn.isEmpty());
    ASSERT_TRUE(Download().ok);
    EXPECT_EQ(said, (QStringList{complete, complete}));
    EXPECT_EQ(withdrawn, QStringList{complete}); // when the second began

    said.clear();
    withdrawn.clear();
    const QString p5 = QStringLiteral("Position 5 has no controller address: its changes are not sent live.");
    ASSERT_TRUE(session->StartLive());
    ASSERT_TRUE(doc.SetCurrent(2, 5));
    ASSERT_TRUE(doc.SetLevel(2, 5, 1, 9));
    ASSERT_TRUE(doc.SetLevel(2, 5, 2, 9));
    EXPECT_EQ(said, QStringList{p5}); // once
    ASSERT_TRUE(doc.SetCurrent(3, 5));
    EXPECT_TRUE(withdrawn.isEmpty()); // still position 5
    ASSERT_TRUE(doc.SetCurrent(3, 4));
    EXPECT_EQ(withdrawn, QStringList{p5});
    ASSERT_TRUE(doc.SetCurrent(3, 5));
    ASSERT_TRUE(doc.SetLevel(3, 5, 1, 9));
    EXPECT_EQ(said, (QStringList{p5, p5})); // said again on the next visit
    session->StopLive();
    EXPECT_EQ(withdrawn, (QStringList{p5, p5}));
}

// The controller stopped reading and the line is full: a download fails at its first frame and Live turns
// off, each within the write deadline, and the journal says failed, with the cause.
TEST_F(ControllerSessionTest, AStalledLineFailsTheDownloadAndLiveAndTheJournalSaysSo) {
    const QString stalled =
        QStringLiteral("the line stopped draining: the controller or the adapter is not taking the data");
    for (const bool live : {false, true}) {
        SCOPED_TRACE(live ? "live" : "download");
        QFile::remove(JournalPath());
        Start(2ms, true);
        if (live) {
            QSignalSpy failed(session.get(), &ControllerSession::liveFailed);
            ASSERT_TRUE(session->StartLive());
            doc.SetLevel(1, 2, 3, 42);
            ASSERT_TRUE(WaitFor([&] { return failed.size() == 1; })) << "Live said nothing";
            EXPECT_EQ(failed[0][0].toString(), QStringLiteral("COM3"));
            EXPECT_EQ(failed[0][1].toString(), stalled);
            EXPECT_FALSE(failed[0][2].toBool()); // the device is there: the port stays open
            EXPECT_FALSE(session->IsLive());
        } else {
            const DownloadResult r = Download();
            EXPECT_FALSE(r.ok);
            EXPECT_EQ(r.failedFrame, 1);
        }
        EXPECT_TRUE(session->IsOpen());
        const QList<JournalRecord> records = Journal(1);
        ASSERT_EQ(records.size(), 1);
        EXPECT_EQ(records[0].kind, QLatin1String(live ? kJournalLive : kJournalDownload));
        EXPECT_EQ(records[0].result, QStringLiteral("failed"));
        EXPECT_EQ(records[0].frames, 0);
        EXPECT_EQ(records[0].failedFrame, 1);
        EXPECT_EQ(records[0].error, stalled);
        session.reset();
    }
}

TEST_F(ControllerSessionTest, AFailedOpenNamesThePort) {
    Start();
    QSignalSpy failed(session.get(), &ControllerSession::openFailed);
    QSignalSpy opened(session.get(), &ControllerSession::opened);
    session->Close();
    session->Open("COM9"); // not in the table
    ASSERT_EQ(failed.size(), 1);
    EXPECT_TRUE(opened.isEmpty());
    EXPECT_EQ(failed[0][0].toString(), QStringLiteral("COM9"));
    EXPECT_TRUE(failed[0][1].toString().contains(QStringLiteral("COM9")))
        << failed[0][1].toString().toStdString();
    EXPECT_FALSE(session->IsOpen());
}

// The one rule from a download's result to its journal record, for the window and kavo-cli alike.
TEST(EndedDownloadRecord, TurnsEachEndIntoItsResult) {
    using Failure = DownloadResult::Failure;
    struct Case {
        const char* name;
        DownloadResult result;
        const char* want;
        int failedFrame;
    };
    const Case cases[] = {
        {"all sent", {true, 192, Failure::None, 0, "", false}, "complete", 0},
        {"stopped during the beep", {false, 192, Failure::None, 0, "", true}, "complete", 0},
        {"stopped mid-download", {false, 40, Failure::None, 0, "", true}, "stopped", 0},
        {"write of frame 57 failed", {false, 56, Failure::Write, 57, "gone", false}, "failed", 57},
        {"a step after frame 10 failed", {false, 10, Failure::AfterFrame, 0, "gone", false}, "failed", 11},
        // Every frame was written: no frame is named as the one that failed.
        {"frames did not leave the port", {false, 192, Failure::Drain, 0, "timeout", false}, "failed", 0},
        {"the beep failed after frame 192", {false, 192, Failure::AfterFrame, 0, "gone", false}, "failed", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        JournalRecord started;
        started.port = QStringLiteral("COM3");
        const JournalRecord r = EndedDownloadRecord(started, c.result, 1234ms);
        EXPECT_EQ(r.result, QLatin1String(c.want));
        EXPECT_EQ(r.frames, c.result.framesSent);
        EXPECT_EQ(r.failedFrame, c.failedFrame);
        EXPECT_EQ(r.error, r.result == QLatin1String(kJournalFailed)
                               ? QString::fromStdString(c.result.errorText)
                               : QString());
        EXPECT_EQ(r.durationMs, 1234);
        EXPECT_EQ(r.port, QStringLiteral("COM3"));
    }
}

} // namespace
