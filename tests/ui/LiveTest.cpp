// Live tuning on the setup form, end to end on a pseudo-terminal: the frames each kind of edit sends, a drag,
// a download holding live frames back, a hang-up, the controller line and the journal.
#include "FormSetupFixture.h"

#include "CColorButton.h"
#include "CMYView1.h"
#include "CSerialPortBase.h"
#include "CStatusBar.h"
#include "CommandIds.h"
#include "DownloadFrame.h"
#include "FarEnd.h"

#include <QCheckBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSettings>

using namespace kavo::download;

namespace {

DownloadFrame Frame(int camera, int position, int channel, bool mask, std::uint16_t value) {
    return MakeSlotFrame(FrameSlot(camera, position, channel, mask), value);
}

// The main window over a fake machine whose only port, COM3, is a pseudo-terminal; the port is open.
class LiveTest : public ::testing::Test {
  protected:
    void Start(std::chrono::milliseconds frameInterval = std::chrono::milliseconds(50)) {
        QSettings().remove(QStringLiteral("Setup/Live")); // off at first start
        pty = std::make_unique<PtyPair>();
        ASSERT_TRUE(pty->ok());
        machine.AddPort(QStringLiteral("COM3"), QString::fromStdString(pty->slaveName));
        AppServices services = machine.Services();
        services.downloadOptions.frameInterval = frameInterval;
        services.downloadOptions.beepLength = std::chrono::milliseconds(1);
        window = std::make_unique<MainWindow>(std::move(services));
        ASSERT_TRUE(window->ok);
        form = window->Form();
        doc = window->Doc();
        EXPECT_FALSE(form->LiveBox()->isEnabled()); // only while the port is open
        QTest::mouseClick(form->OpenPortButton(), Qt::LeftButton);
        ASSERT_TRUE(form->Session().Port().isOpen());
        far = std::make_unique<FarEnd>(*pty);
    }
    void TearDown() override {
        far.reset();
        window.reset();
        QSettings().remove(QStringLiteral("Setup/Live"));
    }
    void TickLive() {
        form->LiveBox()->click();
        ASSERT_TRUE(form->Session().IsLive());
    }
    // The frames that arrived after the first skip ones, once want of them are there and the line has been
    // quiet for a while after them.
    std::vector<DownloadFrame> FramesAfter(std::size_t skip, std::size_t want) {
        EXPECT_TRUE(WaitFor([&] { return far->Frames().size() >= skip + want; }));
        QTest::qWait(150);
        std::vector<DownloadFrame> got;
        const auto frames = far->Frames();
        for (std::size_t i = skip; i < frames.size(); ++i) {
            got.push_back(frames[i].frame);
        }
        return got;
    }
    QString Line() const { return form->ControllerLine()->text(); }
    QList<JournalRecord> Journal(qsizetype atLeast) const {
        QList<JournalRecord> records;
        WaitFor([&] {
            int bad = 0;
            QString error;
            ReadJournal(DefaultJournalPath(), &records, &bad, &error);
            return records.size() >= atLeast;
        });
        return records;
    }

    CScriptedMessageBoxes boxes;
    FakeMachine machine;
    std::unique_ptr<PtyPair> pty;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<FarEnd> far;
    CFormSetup* form = nullptr;
    CKAVODoc* doc = nullptr;
};

// Each edit sends the frames of exactly what changed, for positions 1 to 4; position 5 sends nothing and
// says so once.
TEST_F(LiveTest, EachEditSendsTheFramesOfWhatChanged) {
    Start();
    ASSERT_TRUE(doc->SetMask(1, 1, 1, 0xFFFF)); // before Live: not sent
    TickLive();
    CMYView1* view = window->app.MainFrame()->PatternPane();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window->app.MainFrame()));
    view->grab(); // the first paint sets the grid geometry

    struct Case {
        const char* name;
        std::function<void()> edit;
        std::vector<DownloadFrame> frames;
    };
    std::vector<DownloadFrame> allOn;
    for (int k = 2; k <= 8; ++k) {
        allOn.push_back(Frame(1, 1, k, true, 0xFFFF)); // channel 1 already was
    }
    const Case cases[] = {
        {"slider step",
         [&] { form->LevelBar(3)->triggerAction(QAbstractSlider::SliderSingleStepSub); },
         {Frame(1, 1, 3, false, 254)}},
        {"grid click",
         [&] { QTest::mouseClick(view, Qt::LeftButton, Qt::NoModifier, QPoint(60 + 9, 80 + 25 + 9)); },
         {Frame(1, 1, 2, true, 0x0001)}},
        {"All LED ON", [&] { window->app.MainFrame()->Action(ID_ALL_LED_ON)->trigger(); }, allOn},
        {"another camera and position",
         [&] {
             QTest::mouseClick(form->CameraButton(3), Qt::LeftButton);
             QTest::mouseClick(form->PositionButton(4), Qt::LeftButton);
             form->LevelBar(8)->triggerAction(QAbstractSlider::SliderSingleStepSub);
         },
         {Frame(3, 4, 8, false, 254)}},
        {"an edit of another position, as undo makes it",
         [&] { doc->SetLevel(2, 1, 5, 17); },
         {Frame(2, 1, 5, false, 17)}},
        {"position 5",
         [&] {
             QTest::mouseClick(form->PositionButton(5), Qt::LeftButton);
             form->LevelBar(1)->triggerAction(QAbstractSlider::SliderSingleStepSub);
             form->LevelBar(2)->triggerAction(QAbstractSlider::SliderSingleStepSub);
         },
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::size_t before = far->Frames().size();
        c.edit();
        EXPECT_EQ(FramesAfter(before, c.frames.size()), c.frames);
    }
    EXPECT_EQ(window->app.MainFrame()->StatusBar()->GetPaneText(0),
              QStringLiteral("Position 5 has no controller address: its changes are not sent live."));
    QTest::mouseClick(form->PositionButton(4), Qt::LeftButton); // the note no longer holds
    EXPECT_EQ(window->app.MainFrame()->StatusBar()->GetPaneText(0), QStringLiteral("Ready"));

    // The choice is remembered: the next open of the port is live again.
    QTest::mouseClick(form->OpenPortButton(), Qt::LeftButton);
    EXPECT_FALSE(form->LiveBox()->isChecked());
    EXPECT_FALSE(form->LiveBox()->isEnabled());
    QTest::mouseClick(form->OpenPortButton(), Qt::LeftButton);
    EXPECT_TRUE(form->LiveBox()->isChecked());
    EXPECT_TRUE(form->Session().IsLive());
}

// While the thumb is dragged the light follows it: the values are coalesced, frames never closer than 50 ms,
// and the last one is the thumb's; the recipe and the label take the value only on release.
TEST_F(LiveTest, ADragIsFollowedCoalescedAndEndsOnItsLastValue) {
    Start();
    TickLive();
    QScrollBar* bar = form->LevelBar(2);
    bar->setSliderDown(true);
    for (int v = 254; v >= 100; v -= 2) {
        bar->setSliderPosition(v);
        QTest::qWait(4);
    }
    bar->setSliderPosition(99);
    EXPECT_EQ(doc->GetLevel(1, 1, 2), 255);
    EXPECT_EQ(form->LevelLabel(2)->text(), QStringLiteral("255"));
    bar->setSliderDown(false); // release
    EXPECT_EQ(doc->GetLevel(1, 1, 2), 99);
    EXPECT_EQ(form->LevelLabel(2)->text(), QStringLiteral("99"));

    ASSERT_TRUE(WaitFor([&] {
        const auto frames = far->Frames();
        return !frames.empty() && frames.back().frame == Frame(1, 1, 2, false, 99);
    }));
    QTest::qWait(150);
    const std::vector<Arrival> frames = far->Frames();
    EXPECT_LT(frames.size(), 78u);                             // fewer than the thumb's 78 positions
    EXPECT_EQ(frames.back().frame, Frame(1, 1, 2, false, 99)); // the release sends nothing more
    for (const Arrival& a : frames) {
        EXPECT_EQ(a.frame[2], FrameAddress(1, 1, false));
    }
    EXPECT_GE(MinSpacingMs(frames), 50.0);
    EXPECT_EQ(Line(), QStringLiteral("Controller: unknown (only 1 of 192 settings written from here)"));
}

// The controller line through a download, edits with Live off and on, an edit during a download (held, then
// sent after it) and a download that fails.
TEST_F(LiveTest, TheControllerLineFollowsEditsAndDownloads) {
    Start(std::chrono::milliseconds(2));
    EXPECT_EQ(Line(), QStringLiteral("Controller: not yet written from here"));
    QTest::mouseClick(form->DownloadButton(), Qt::LeftButton);
    ASSERT_TRUE(
        WaitFor([&] { return !form->Session().IsDownloadRunning() && form->DownloadButton()->isEnabled(); }));
    EXPECT_EQ(Line(), QStringLiteral("Controller: matches this recipe"));

    form->LevelBar(1)->triggerAction(QAbstractSlider::SliderSingleStepSub);
    EXPECT_EQ(Line(), QStringLiteral("Controller: 1 setting differs from this recipe"));
    form->LevelBar(2)->triggerAction(QAbstractSlider::SliderSingleStepSub);
    EXPECT_EQ(Line(), QStringLiteral("Controller: 2 settings differ from this recipe"));

    // Live on: an edit made during a download waits for it, then goes out.
    TickLive();
    QTest::mouseClick(form->DownloadButton(), Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return form->Progress()->value() >= 5; }));
    form->LevelBar(3)->triggerAction(QAbstractSlider::SliderSingleStepSub);
    ASSERT_TRUE(WaitFor([&] { return far->Frames().size() >= 2 * 192 + 1; }));
    const auto frames = far->Frames();
    EXPECT_EQ(frames.back().frame, Frame(1, 1, 3, false, 254));
    EXPECT_EQ(frames[2 * 192 - 1].frame, Frame(3, 4, 8, true, 0)); // the download's last frame came first
    ASSERT_TRUE(WaitFor([&] { return Line() == QStringLiteral("Controller: matches this recipe"); }));

    // The line hangs up in mid-download: unknown until a complete one.
    QTest::mouseClick(form->DownloadButton(), Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return form->Progress()->value() >= 5; }));
    far->Stop();
    pty->CloseMaster();
    ASSERT_TRUE(
        WaitFor([&] { return !form->Session().IsDownloadRunning() && !form->Session().Port().isOpen(); }));
    EXPECT_EQ(Line(), QStringLiteral("Controller: unknown (last download did not finish)"));
}

// The far end hangs up while Live is on: one message with the port's reason, Live off, the port closed as it
// truly is, and the session journalled as failed.
TEST_F(LiveTest, AHangUpDuringLiveSendingTurnsLiveOff) {
    QFile::remove(DefaultJournalPath());
    Start();
    TickLive();
    form->LevelBar(1)->triggerAction(QAbstractSlider::SliderSingleStepSub);
    ASSERT_TRUE(WaitFor([&] { return far->Frames().size() == 1; }));
    QTest::qWait(60);
    far->Stop();
    pty->CloseMaster();
    form->LevelBar(1)->triggerAction(QAbstractSlider::SliderSingleStepSub);
    ASSERT_TRUE(WaitFor([&] { return !boxes.shown.empty(); }));
    QTest::qWait(50); // both notices, when both come, have been handled

    // One message, whichever comes first: the write that fails or the receive side's hang-up.
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_TRUE(boxes.shown[0].text.contains(QStringLiteral("COM3"))) << boxes.shown[0].text.toStdString();
    EXPECT_TRUE(boxes.shown[0].text.contains(QStringLiteral("Live is off")))
        << boxes.shown[0].text.toStdString();
    EXPECT_EQ(boxes.shown[0].type & MB_ICONMASK, MB_ICONERROR);
    EXPECT_FALSE(form->Session().IsLive());
    EXPECT_FALSE(form->LiveBox()->isChecked());
    EXPECT_FALSE(form->LiveBox()->isEnabled());
    EXPECT_FALSE(form->Session().Port().isOpen());
    EXPECT_EQ(form->OpenPortButton()->text(), QStringLiteral("Open Port"));
    EXPECT_FALSE(QSettings().value(QStringLiteral("Setup/Live")).toBool());

    const QList<JournalRecord> records = Journal(1);
    ASSERT_EQ(records.size(), 1);
    EXPECT_EQ(records[0].kind, QStringLiteral("live"));
    EXPECT_EQ(records[0].frames, 1);
    EXPECT_EQ(records[0].result, QStringLiteral("failed"));
    EXPECT_EQ(records[0].failedFrame, 2);
    EXPECT_EQ(records[0].error, QStringLiteral("the adapter was unplugged or the line hung up"));
    QFile::remove(DefaultJournalPath());
}

} // namespace
