#include "FormSetupFixture.h"

#include "Beeper.h"
#include "CColorButton.h"
#include "CSerialPortBase.h"
#include "CStatusBar.h"
#include "DownloadFrame.h"
#include "DownloadJournal.h"

#include <QComboBox>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>

#include <atomic>
#include <mutex>
#include <thread>

namespace {

// The Chinese message with its English line below (the tests run in English).
const QString kDownloadingText =
    QStringLiteral("数据下载中, 在进度条变成绿色之前, 请不要断电或其他操作!\n"
                   "Downloading: do not switch off or do anything else until the progress bar turns green.");

class FakeBeeper : public IBeeper {
  public:
    bool beep(unsigned hz, unsigned ms, std::stop_token) override {
        calls.fetch_add(1);
        lastHz.store(hz);
        lastMs.store(ms);
        return true;
    }
    std::atomic<int> calls{0};
    std::atomic<unsigned> lastHz{0};
    std::atomic<unsigned> lastMs{0};
};

// Collects what the controller end of the line receives, on a thread of its own.
class Controller {
  public:
    explicit Controller(PtyPair& pty) : m_pty(pty), m_thread([this](std::stop_token stop) { Run(stop); }) {}
    ~Controller() { Stop(); }

    void Stop() {
        m_thread.request_stop();
        if (m_thread.joinable()) {
            m_thread.join();
        }
    }
    std::vector<unsigned char> Bytes() const {
        std::lock_guard lock(m_mutex);
        return m_bytes;
    }
    std::size_t Size() const { return Bytes().size(); }

  private:
    void Run(std::stop_token stop) {
        while (!stop.stop_requested()) {
            std::vector<unsigned char> got;
            if (!m_pty.ReadSome(got, 20)) {
                return;
            }
            std::lock_guard lock(m_mutex);
            m_bytes.insert(m_bytes.end(), got.begin(), got.end());
        }
    }

    PtyPair& m_pty;
    mutable std::mutex m_mutex;
    std::vector<unsigned char> m_bytes;
    std::jthread m_thread;
};

std::vector<unsigned char> FrameBytes(const Recipe& r) {
    std::vector<unsigned char> bytes;
    for (const DownloadFrame& frame : BuildDownloadFrames(r.m_levels, r.m_stepMasks)) {
        bytes.insert(bytes.end(), frame.begin(), frame.end());
    }
    return bytes;
}

// The main window over a fake machine whose only port, COM3, is a pseudo-terminal; the port is open.
class DownloadTest : public ::testing::Test {
  protected:
    // A fresh line and main window; a previous one is ended first.
    void Start(std::chrono::milliseconds frameInterval, std::chrono::milliseconds beepLength) {
        TearDown();
        boxes.shown.clear();
        beeper->calls.store(0);
        pty = std::make_unique<PtyPair>();
        ASSERT_TRUE(pty->ok());
        machine.AddPort(QStringLiteral("COM3"), QString::fromStdString(pty->slaveName));
        AppServices services = machine.Services();
        services.beeper = beeper;
        services.downloadOptions.frameInterval = frameInterval;
        services.downloadOptions.beepLength = beepLength;
        window = std::make_unique<MainWindow>(std::move(services));
        ASSERT_TRUE(window->ok);
        form = window->Form();
        doc = window->Doc();
        ASSERT_EQ(form->PortList()->currentText(), QStringLiteral("COM3"));
        QTest::mouseClick(form->OpenPortButton(), Qt::LeftButton);
        ASSERT_TRUE(form->Session().Port().isOpen());
        controller = std::make_unique<Controller>(*pty);

        // A recipe in which every level and mask differs.
        for (int c = 0; c < 3; ++c) {
            for (int p = 0; p < 5; ++p) {
                for (int ch = 0; ch < 8; ++ch) {
                    doc->SetLevel(c + 1, p + 1, ch + 1, static_cast<std::uint8_t>(1 + c * 40 + p * 8 + ch));
                    doc->SetMask(c + 1, p + 1, ch + 1,
                                 static_cast<std::uint16_t>(0x1111 * (c + 1) + p * 0x10 + ch));
                }
            }
        }
        doc->OnHistoryCleanChanged(true); // as if opened from a file
        doc->UpdateAllViews(nullptr, 0);
    }
    void TearDown() override {
        controller.reset();
        window.reset();
    }
    bool Finished() const {
        return !form->Session().IsDownloadRunning() && form->DownloadButton()->isEnabled();
    }

    CScriptedMessageBoxes boxes;
    FakeMachine machine;
    std::unique_ptr<PtyPair> pty;
    std::shared_ptr<FakeBeeper> beeper = std::make_shared<FakeBeeper>();
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<Controller> controller;
    CFormSetup* form = nullptr;
    CKAVODoc* doc = nullptr;
};

TEST_F(DownloadTest, PressingDownloadSendsTheRecipesFramesInOrder) {
    Start(std::chrono::milliseconds(2), std::chrono::milliseconds(20));
    const std::vector<unsigned char> expected = FrameBytes(doc->GetRecipe());
    QSignalSpy progress(form->Progress(), &QProgressBar::valueChanged);

    // While the operator's box is up, the worker goes on and both buttons stay disabled.
    bool disabledWhileShown = false;
    bool progressedWhileShown = false;
    boxes.whileShown = [&](const CScriptedMessageBoxes::Box&) {
        progressedWhileShown = WaitFor([&] { return form->Progress()->value() >= 20; });
        disabledWhileShown = !form->DownloadButton()->isEnabled() && !form->OpenPortButton()->isEnabled();
    };
    QTest::mouseClick(form->DownloadButton(), Qt::LeftButton);
    boxes.whileShown = nullptr;
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, kDownloadingText);
    EXPECT_EQ(boxes.shown[0].type, MB_ICONINFORMATION);
    EXPECT_TRUE(progressedWhileShown);
    EXPECT_TRUE(disabledWhileShown);

    ASSERT_TRUE(WaitFor([&] { return Finished() && controller->Size() >= expected.size(); }));
    QTest::qWait(50); // nothing more arrives
    EXPECT_EQ(controller->Bytes(), expected);

    // The bar went through 1..192, one step per frame, and turned green.
    std::vector<int> steps;
    for (const QList<QVariant>& signal : progress) {
        steps.push_back(signal.at(0).toInt());
    }
    ASSERT_EQ(steps.size(), 192u);
    for (int n = 1; n <= 192; ++n) {
        EXPECT_EQ(steps[n - 1], n);
    }
    EXPECT_EQ(form->Progress()->value(), 192);
    EXPECT_EQ(form->ProgressBarColor(), QColor(0, 255, 0));
    const QImage full = form->Progress()->grab().toImage();
    EXPECT_EQ(QColor(full.pixel(full.width() / 2, full.height() / 2)), QColor(0, 255, 0));
    EXPECT_EQ(beeper->calls.load(), 1);
    EXPECT_EQ(beeper->lastHz.load(), 1000u);
    EXPECT_TRUE(form->OpenPortButton()->isEnabled());
    EXPECT_EQ(boxes.shown.size(), 1u); // no failure message
    // Said in words too: the colour and the beep are easily missed.
    EXPECT_EQ(window->app.MainFrame()->StatusBar()->GetPaneText(0),
              QStringLiteral("Download complete: 192 frames"));
}

TEST_F(DownloadTest, EditsDuringTheDownloadChangeNoByteSent) {
    Start(std::chrono::milliseconds(5), std::chrono::milliseconds(20));
    doc->SetCurrent(3, doc->GetCurPosition());
    doc->UpdateAllViews(nullptr, 0);
    const std::vector<unsigned char> expected = FrameBytes(doc->GetRecipe());

    QTest::mouseClick(form->DownloadButton(), Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return form->Progress()->value() >= 10; }));
    ASSERT_LT(form->Progress()->value(), 128); // camera 3's frames are still to come
    const std::uint8_t before = doc->GetLevel(3, 1, 1);
    form->LevelBar(1)->triggerAction(QAbstractSlider::SliderSingleStepSub);
    QTest::mouseClick(form->PositionButton(2), Qt::LeftButton);
    form->LevelBar(8)->triggerAction(QAbstractSlider::SliderSingleStepSub);
    EXPECT_EQ(doc->GetLevel(3, 1, 1), before - 1);
    EXPECT_TRUE(doc->IsModified());

    ASSERT_TRUE(WaitFor([&] { return Finished() && controller->Size() >= expected.size(); }));
    QTest::qWait(50);
    EXPECT_EQ(controller->Bytes(), expected);
    EXPECT_NE(FrameBytes(doc->GetRecipe()), expected);
}

// The controller's end goes away while the "download runs" notice is up: the download stops at the failed
// write, red, without the beep; the notice closes before the one failure message, which names the frame and
// says in plain words what happened and what to do; the port is closed, so the form offers Open Port.
TEST_F(DownloadTest, TheOtherEndGoneEndsInTheFailureState) {
    struct Case {
        const char* name;
        int framesBeforeHangUp; // 0: gone before Download is pressed
    };
    const Case cases[] = {{"mid-download", 20}, {"before the first frame", 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Start(std::chrono::milliseconds(5), std::chrono::milliseconds(20));

        if (c.framesBeforeHangUp == 0) {
            controller->Stop();
            pty->CloseMaster();
        }
        bool noticeClosedFirst = false;
        boxes.whileShown = [&](const CScriptedMessageBoxes::Box& box) {
            if (box.text == kDownloadingText) {
                // The operator leaves the notice up; the line goes meanwhile.
                if (c.framesBeforeHangUp > 0) {
                    ASSERT_TRUE(WaitFor([&] { return form->Progress()->value() >= c.framesBeforeHangUp; }));
                    controller->Stop();
                    pty->CloseMaster();
                }
                ASSERT_TRUE(WaitFor([&] { return boxes.shown.size() >= 2; }));
            } else {
                noticeClosedFirst = boxes.shown[0].closed;
            }
        };
        QTest::mouseClick(form->DownloadButton(), Qt::LeftButton);
        boxes.whileShown = nullptr;
        ASSERT_TRUE(WaitFor([&] { return !form->Session().IsDownloadRunning(); }));
        QCoreApplication::processEvents();

        ASSERT_EQ(boxes.shown.size(), 2u);
        EXPECT_TRUE(noticeClosedFirst);
        const int sent = form->Progress()->value();
        EXPECT_LT(sent, 192);
        EXPECT_GE(sent, c.framesBeforeHangUp);
        EXPECT_EQ(form->ProgressBarColor(), QColor(255, 0, 0));
        // Red up to the frames sent, black after.
        const QImage bar = form->Progress()->grab().toImage();
        const int y = bar.height() / 2;
        if (sent > 0) {
            EXPECT_EQ(QColor(bar.pixel(3, y)), QColor(255, 0, 0));
        }
        EXPECT_EQ(QColor(bar.pixel(bar.width() - 4, y)), QColor(0, 0, 0));
        EXPECT_EQ(beeper->calls.load(), 0);
        EXPECT_FALSE(form->Session().Port().isOpen());
        EXPECT_EQ(form->OpenPortButton()->text(), QLatin1String("Open Port"));
        EXPECT_TRUE(form->OpenPortButton()->isEnabled());
        EXPECT_FALSE(form->DownloadButton()->isEnabled());
        const QString& text = boxes.shown[1].text;
        EXPECT_TRUE(text.contains(QStringLiteral("frame %1 of 192").arg(sent + 1))) << text.toStdString();
        EXPECT_TRUE(text.contains(QLatin1String("the adapter was unplugged or the line hung up")))
            << text.toStdString();
        EXPECT_FALSE(text.contains(QLatin1String("write failed"))) << text.toStdString();
        EXPECT_TRUE(text.contains(QLatin1String("open the port and download again"))) << text.toStdString();
        EXPECT_EQ(boxes.shown[1].type & MB_ICONMASK, MB_ICONERROR);
    }
}

// Exit during a download asks first: Wait lets every frame go out and the window then closes by itself;
// Stop closes it at once, and the rest of the recipe is not sent.
TEST_F(DownloadTest, QuittingDuringADownloadAsksWaitOrStop) {
    struct Case {
        const char* name;
        int answer; // index into the box's buttons
        bool allFramesSent;
    };
    const Case cases[] = {{"Wait", 0, true}, {"Stop", 1, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Start(std::chrono::milliseconds(10), std::chrono::milliseconds(20));
        QTest::mouseClick(form->DownloadButton(), Qt::LeftButton);
        ASSERT_TRUE(WaitFor([&] { return form->Progress()->value() >= 5; }));
        CMainFrame* frame = window->app.MainFrame();
        boxes.answers = {c.answer};
        frame->Action(ID_APP_EXIT)->trigger();
        QCoreApplication::processEvents();

        ASSERT_EQ(boxes.shown.size(), 2u);
        EXPECT_EQ(
            boxes.shown[1].text,
            QStringLiteral("A download is running. Stop it? The controller will hold an incomplete recipe."));
        EXPECT_EQ(boxes.shown[1].buttons, (QStringList{QStringLiteral("Wait"), QStringLiteral("Stop")}));
        if (c.allFramesSent) {
            EXPECT_TRUE(frame->isVisible());
            EXPECT_TRUE(form->Session().IsDownloadRunning());
            ASSERT_TRUE(WaitFor([&] { return !frame->isVisible(); }));
            EXPECT_EQ(form->Progress()->value(), 192);
            ASSERT_TRUE(WaitFor([&] { return controller->Size() >= 192u * 6u; }));
        } else {
            EXPECT_FALSE(frame->isVisible());
            window.reset(); // the program ends: the worker is stopped and joined
            QTest::qWait(50);
            EXPECT_LT(controller->Size(), 192u * 6u);
        }
        EXPECT_EQ(boxes.shown.size(), 2u); // no failure message
    }
}

// Exit with a modified recipe during a download, Stop: the download is stopped, its worker ended and the
// stop journalled before the save question comes; nothing more goes out while the question is up, and
// Cancel there keeps the window (the port closed with the stop).
TEST_F(DownloadTest, StopComesBeforeTheSaveQuestion) {
    QFile::remove(DefaultJournalPath());
    Start(std::chrono::milliseconds(10), std::chrono::milliseconds(20));
    QTest::mouseClick(form->DownloadButton(), Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return form->Progress()->value() >= 5; }));
    ASSERT_TRUE(doc->SetLevel(1, 1, 1, 77)); // modified
    CMainFrame* frame = window->app.MainFrame();

    bool stoppedFirst = false;
    std::size_t sentAtQuestion = 0;
    std::size_t sentAfterQuestion = 0;
    QList<JournalRecord> journalAtQuestion;
    boxes.whileShown = [&](const CScriptedMessageBoxes::Box& box) {
        if (!box.text.startsWith(QLatin1String("Save changes"))) {
            return;
        }
        stoppedFirst = !form->Session().IsDownloadRunning();
        QTest::qWait(100); // the worker's last frame may still be crossing the terminal
        sentAtQuestion = controller->Size();
        QTest::qWait(150);
        sentAfterQuestion = controller->Size();
        WaitFor([&] {
            int bad = 0;
            QString error;
            journalAtQuestion.clear();
            ReadJournal(DefaultJournalPath(), &journalAtQuestion, &bad, &error);
            return !journalAtQuestion.isEmpty();
        });
    };
    boxes.answers = {1, IDCANCEL}; // Stop, then Cancel
    frame->Action(ID_APP_EXIT)->trigger();
    QCoreApplication::processEvents();
    boxes.whileShown = nullptr;

    ASSERT_EQ(boxes.shown.size(), 3u);
    EXPECT_TRUE(boxes.shown[1].text.startsWith(QLatin1String("A download is running.")));
    EXPECT_EQ(boxes.shown[2].text, QStringLiteral("Save changes to Untitled?"));
    EXPECT_TRUE(stoppedFirst);
    EXPECT_EQ(sentAfterQuestion, sentAtQuestion);
    EXPECT_LT(sentAtQuestion, 192u * 6u);
    ASSERT_EQ(journalAtQuestion.size(), 1);
    EXPECT_EQ(journalAtQuestion[0].result, QStringLiteral("stopped"));
    EXPECT_LT(journalAtQuestion[0].frames, 192);

    EXPECT_TRUE(frame->isVisible()); // Cancel
    EXPECT_FALSE(form->Session().IsOpen());
    EXPECT_EQ(form->OpenPortButton()->text(), QStringLiteral("Open Port"));
    EXPECT_EQ(doc->GetLevel(1, 1, 1), 77);
}

TEST_F(DownloadTest, QuittingMidDownloadStopsTheWorkerFirst) {
    Start(std::chrono::milliseconds(20), std::chrono::milliseconds(20));
    QTest::mouseClick(form->DownloadButton(), Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return form->Progress()->value() >= 5; }));
    window.reset(); // the form, its bar and the port go: the worker is joined before
    // Frames written before the quit may still be on their way through the terminal; let the reader
    // catch up, then nothing more may arrive.
    QTest::qWait(100);
    const std::size_t atQuit = controller->Size();
    QTest::qWait(200);
    QCoreApplication::processEvents(); // queued notices of the worker find no form
    EXPECT_EQ(controller->Size(), atQuit);
    EXPECT_LT(atQuit, 192u * 6u);
    EXPECT_EQ(atQuit % 6, 0u);
}

TEST_F(DownloadTest, QuittingDuringTheBeepIsClean) {
    Start(std::chrono::milliseconds(1), std::chrono::milliseconds(60000));
    QTest::mouseClick(form->DownloadButton(), Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return form->ProgressBarColor() == QColor(0, 255, 0); }));
    EXPECT_TRUE(form->Session().IsDownloadRunning()); // waiting out the tone's length
    window.reset();
    QCoreApplication::processEvents();
    // The reader may still be taking the last frames off the terminal.
    EXPECT_TRUE(WaitFor([&] { return controller->Size() >= 192u * 6u; }));
    EXPECT_EQ(controller->Size(), 192u * 6u);
}

} // namespace
