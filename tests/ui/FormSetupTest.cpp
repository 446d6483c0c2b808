#include "FormSetupFixture.h"

#include "CColorButton.h"
#include "CSerialPortBase.h"
#include "DialogUnits.h"
#include "SerialPortFactory.h"

#include <QApplication>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSplitter>
#include <QTimer>

#include <unistd.h>

namespace {

// The main window over a fake machine with the ports COM1, COM2 and COM10 on pseudo-terminals.
class FormSetupTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(pty1.ok() && pty2.ok() && pty10.ok());
        machine.AddPort(QStringLiteral("COM1"), QString::fromStdString(pty1.slaveName));
        machine.AddPort(QStringLiteral("COM2"), QString::fromStdString(pty2.slaveName));
        machine.AddPort(QStringLiteral("COM10"), QString::fromStdString(pty10.slaveName));
        window = std::make_unique<MainWindow>(machine.Services());
        ASSERT_TRUE(window->ok);
        form = window->Form();
        doc = window->Doc();
    }
    void TearDown() override { window.reset(); }

    QStringList ListEntries() const {
        QStringList entries;
        for (int i = 0; i < form->PortList()->count(); ++i) {
            entries << form->PortList()->itemText(i);
        }
        return entries;
    }
    // As the operator picks an entry in the drop-down list.
    void Pick(const QString& name) {
        const int index = form->PortList()->findText(name);
        ASSERT_GE(index, 0) << name.toStdString();
        form->PortList()->setCurrentIndex(index);
        emit form->PortList()->activated(index);
    }

    CScriptedMessageBoxes boxes;
    FakeMachine machine;
    PtyPair pty1, pty2, pty10;
    std::unique_ptr<MainWindow> window;
    CFormSetup* form = nullptr;
    CKAVODoc* doc = nullptr;
};

void ExpectSelection(CFormSetup* form, int camera, int position) {
    for (int c = 1; c <= 3; ++c) {
        EXPECT_EQ(form->CameraButton(c)->FaceColor(),
                  c == camera ? QColor(250, 250, 5) : QColor(127, 127, 127))
            << "C" << c;
    }
    for (int p = 1; p <= 5; ++p) {
        EXPECT_EQ(form->PositionButton(p)->FaceColor(),
                  p == position ? QColor(5, 200, 5) : QColor(127, 127, 127))
            << "P" << p;
    }
}

TEST_F(FormSetupTest, StartStateShowsTheFirstCameraAndPositionAndTheGreatestPortName) {
    ExpectSelection(form, 1, 1);
    // The face colour is what is painted.
    const QImage c1 = form->CameraButton(1)->grab().toImage();
    EXPECT_EQ(QColor(c1.pixel(4, c1.height() / 2)), QColor(250, 250, 5));
    const QImage p2 = form->PositionButton(2)->grab().toImage();
    EXPECT_EQ(QColor(p2.pixel(4, p2.height() / 2)), QColor(127, 127, 127));

    EXPECT_FALSE(form->DownloadButton()->isEnabled());
    EXPECT_TRUE(form->OpenPortButton()->isEnabled());
    EXPECT_EQ(form->OpenPortButton()->text(), QStringLiteral("Open Port"));
    EXPECT_EQ(form->Progress()->minimum(), 0);
    EXPECT_EQ(form->Progress()->maximum(), 192);
    EXPECT_EQ(form->Progress()->value(), 0);
    EXPECT_EQ(form->ProgressBarColor(), QColor(255, 0, 0));
    const QImage bar = form->Progress()->grab().toImage();
    EXPECT_EQ(QColor(bar.pixel(bar.width() / 2, bar.height() / 2)), QColor(0, 0, 0));

    // Sorted as text: COM10 before COM2, and the last entry selected.
    EXPECT_EQ(ListEntries(), (QStringList{"COM1", "COM10", "COM2"}));
    EXPECT_EQ(form->PortList()->currentText(), QStringLiteral("COM2"));
    EXPECT_TRUE(form->PortList()->isEnabled());
    EXPECT_TRUE(form->Ports()->IsRefreshTimerActive());

    for (int ch = 1; ch <= 8; ++ch) {
        EXPECT_EQ(form->LevelBar(ch)->minimum(), 1);
        EXPECT_EQ(form->LevelBar(ch)->maximum(), 255);
        EXPECT_EQ(form->LevelBar(ch)->value(), 255);
        EXPECT_EQ(form->LevelLabel(ch)->text(), QStringLiteral("255"));
        EXPECT_TRUE(form->LevelBar(ch)->isVisible());
    }
    EXPECT_FALSE(doc->IsModified());
    EXPECT_FALSE(form->Session().Port().isOpen());
}

TEST_F(FormSetupTest, ControlsSitAtTheirTemplatePositionsInReadingOrder) {
    struct Placed {
        int id;
        int x, y, w, h;
    };
    const Placed placed[] = {
        {2000, 91, 46, 35, 17},    {2001, 91, 69, 35, 17},    {2002, 91, 92, 35, 17},
        {2003, 91, 115, 35, 17},   {3000, 177, 50, 105, 11},  {3001, 177, 67, 105, 11},
        {3002, 177, 84, 105, 11},  {3003, 177, 101, 105, 11}, {3004, 177, 118, 105, 11},
        {3005, 177, 135, 105, 11}, {4000, 291, 51, 18, 8},    {4005, 291, 136, 18, 8},
        {1025, 33, 215, 72, 25},   {1026, 203, 214, 72, 25},  {1027, 31, 259, 258, 14},
        {2005, 18, 49, 46, 17},    {2006, 18, 77, 46, 17},    {2007, 18, 105, 46, 17},
        {2004, 91, 138, 35, 17},   {3006, 177, 152, 105, 11}, {3007, 177, 169, 105, 11},
        {4006, 291, 153, 18, 8},   {4007, 291, 170, 18, 8},
    };
    const DialogUnits du;
    for (const Placed& p : placed) {
        QWidget* w = form->Control(p.id);
        ASSERT_NE(w, nullptr) << p.id;
        EXPECT_EQ(w->geometry(), du.rect(p.x, p.y, p.w, p.h)) << p.id;
        EXPECT_EQ(w->property("controlId").toInt(), p.id);
    }
    // The eight channel rows share one step of 17 dialog units, slider and value alike: no row sits lower.
    for (int ch = 1; ch <= 8; ++ch) {
        EXPECT_EQ(form->LevelBar(ch)->y(), du.y(50 + 17 * (ch - 1))) << "slider " << ch;
        EXPECT_EQ(form->LevelLabel(ch)->y(), du.y(51 + 17 * (ch - 1))) << "value " << ch;
    }
    // The port list keeps its place and width; its closed height is the style's.
    EXPECT_EQ(form->Control(1017)->pos(), du.rect(31, 182, 72, 69).topLeft());
    EXPECT_EQ(form->Control(1017)->width(), du.x(72));
    EXPECT_EQ(form->FormWidget()->size(), QSize(du.x(323), du.y(292)));
    EXPECT_LE(form->FormWidget()->width(), CMainFrame::kLeftPaneWidth);

    // Tab follows the reading order: cameras, positions, each channel's slider and value top to bottom,
    // then the port and the download; from the last control the focus leaves the form.
    const int tabStops[] = {2005, 2006, 2007, 2000, 2001, 2002, 2003, 2004, 3000, 4000,
                            3001, 4001, 3002, 4002, 3003, 4003, 3004, 4004, 3005, 4005,
                            3006, 4006, 3007, 4007, 1017, 1025, 1026, 1028};
    QWidget* w = form->Control(tabStops[0]);
    for (std::size_t i = 1; i <= std::size(tabStops); ++i) {
        do {
            w = w->nextInFocusChain();
        } while (!(w->focusPolicy() & Qt::TabFocus));
        if (i < std::size(tabStops)) {
            EXPECT_EQ(w, form->Control(tabStops[i])) << "after " << tabStops[i - 1];
        } else {
            EXPECT_FALSE(form->FormWidget()->isAncestorOf(w)) << "after the last control";
        }
    }
}

TEST_F(FormSetupTest, CameraAndPositionClicksSelectAndReloadTheSliders) {
    for (int ch = 0; ch < 8; ++ch) {
        doc->SetLevel(3, 5, ch + 1, static_cast<std::uint8_t>(10 + ch)); // camera 3, position 5
        doc->SetLevel(3, 1, ch + 1, static_cast<std::uint8_t>(100 + ch));
    }
    doc->OnHistoryCleanChanged(true); // as if opened from a file
    QTest::mouseClick(form->CameraButton(3), Qt::LeftButton);
    EXPECT_EQ(doc->GetCurCamera(), 3);
    EXPECT_EQ(doc->GetCurPosition(), 1);
    ExpectSelection(form, 3, 1);
    EXPECT_EQ(form->LevelBar(1)->value(), 100);

    QTest::mouseClick(form->PositionButton(5), Qt::LeftButton);
    EXPECT_EQ(doc->GetCurCamera(), 3);
    EXPECT_EQ(doc->GetCurPosition(), 5);
    ExpectSelection(form, 3, 5);
    for (int ch = 1; ch <= 8; ++ch) {
        EXPECT_EQ(form->LevelBar(ch)->value(), 9 + ch);
        EXPECT_EQ(form->LevelLabel(ch)->text(), QString::number(9 + ch));
    }
    EXPECT_FALSE(doc->IsModified());
}

// The slider notices: what each Qt action does to the value, the label and the recipe.
TEST_F(FormSetupTest, SliderActionsFollowTheScrollCodeTable) {
    struct Case {
        const char* name;
        QAbstractSlider::SliderAction action;
        int start;
        int expected;
    };
    const Case cases[] = {
        {"line left at 1", QAbstractSlider::SliderSingleStepSub, 1, 1},
        {"line right at 255", QAbstractSlider::SliderSingleStepAdd, 255, 255},
        {"line left", QAbstractSlider::SliderSingleStepSub, 100, 99},
        {"line right", QAbstractSlider::SliderSingleStepAdd, 100, 101},
        {"page left", QAbstractSlider::SliderPageStepSub, 100, 100},
        {"page right", QAbstractSlider::SliderPageStepAdd, 100, 100},
        {"left end", QAbstractSlider::SliderToMinimum, 100, 100},
        {"right end", QAbstractSlider::SliderToMaximum, 100, 100},
    };
    doc->SetCurrent(2, 4);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        doc->SetLevel(2, 4, 3, static_cast<std::uint8_t>(c.start));
        doc->UpdateAllViews(nullptr, 0);
        doc->OnHistoryCleanChanged(true);
        QScrollBar* bar = form->LevelBar(3);
        bar->triggerAction(c.action);
        EXPECT_EQ(bar->value(), c.expected);
        EXPECT_EQ(bar->sliderPosition(), c.expected);
        EXPECT_EQ(form->LevelLabel(3)->text(), QString::number(c.expected));
        EXPECT_EQ(doc->GetLevel(2, 4, 3), c.expected);
        EXPECT_TRUE(doc->IsModified());
        // Nothing else moved.
        EXPECT_EQ(doc->GetLevel(2, 4, 2), 255);
    }
}

TEST_F(FormSetupTest, DraggingTheThumbChangesNothingUntilRelease) {
    doc->SetLevel(1, 1, 1, 100);
    doc->UpdateAllViews(nullptr, 0);
    doc->OnHistoryCleanChanged(true);
    QScrollBar* bar = form->LevelBar(1);
    bar->setSliderDown(true);
    bar->setSliderPosition(40);
    bar->setSliderPosition(30);
    EXPECT_EQ(bar->value(), 100);
    EXPECT_EQ(form->LevelLabel(1)->text(), QStringLiteral("100"));
    EXPECT_EQ(doc->GetLevel(1, 1, 1), 100);
    EXPECT_TRUE(doc->IsModified()); // every notice marks the recipe

    bar->setSliderDown(false);
    EXPECT_EQ(bar->value(), 30);
    EXPECT_EQ(form->LevelLabel(1)->text(), QStringLiteral("30"));
    EXPECT_EQ(doc->GetLevel(1, 1, 1), 30);
}

TEST_F(FormSetupTest, MouseOnTheArrowStepsOneAndInTheTroughOnlyMarks) {
    window->app.MainFrame()->show();
    doc->SetLevel(1, 1, 5, 50);
    doc->UpdateAllViews(nullptr, 0);
    doc->OnHistoryCleanChanged(true);
    QScrollBar* bar = form->LevelBar(5);
    const int midY = bar->height() / 2;
    QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(bar->width() - 3, midY)); // right arrow
    EXPECT_EQ(bar->value(), 51);
    EXPECT_EQ(doc->GetLevel(1, 1, 5), 51);
    EXPECT_TRUE(doc->IsModified());

    doc->OnHistoryCleanChanged(true);
    QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(bar->width() - bar->height() - 8, midY)); // trough
    EXPECT_EQ(bar->value(), 51);
    EXPECT_EQ(form->LevelLabel(5)->text(), QStringLiteral("51"));
    EXPECT_TRUE(doc->IsModified());
}

TEST_F(FormSetupTest, ASliderOffersNoMenuThatWouldMoveItBehindTheFormsBack) {
    QScrollBar* bar = form->LevelBar(3);
    doc->OnHistoryCleanChanged(true);
    bool menuShown = false;
    QTimer::singleShot(100, [&] {
        if (QWidget* popup = QApplication::activePopupWidget()) {
            menuShown = true;
            popup->close();
        }
    });
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), bar->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(bar, &event);
    QTest::qWait(150);
    EXPECT_FALSE(menuShown);
    EXPECT_EQ(bar->value(), 255);
    EXPECT_EQ(form->LevelLabel(3)->text(), QStringLiteral("255"));
}

TEST_F(FormSetupTest, TheFormsOwnScrollBarOnlyScrolls) {
    CMainFrame* frame = window->app.MainFrame();
    frame->show();
    frame->Splitter()->setSizes({200, 800});
    QCoreApplication::processEvents();
    QScrollBar* own = form->horizontalScrollBar();
    ASSERT_GT(own->maximum(), 0);
    doc->OnHistoryCleanChanged(true);

    form->OnHScroll(SB_LINERIGHT, 0, nullptr);
    EXPECT_GT(own->value(), 0);
    form->OnHScroll(SB_PAGERIGHT, 0, own);
    form->OnHScroll(SB_THUMBPOSITION, 7, nullptr);
    EXPECT_EQ(own->value(), 7);
    for (int ch = 1; ch <= 8; ++ch) {
        EXPECT_EQ(form->LevelBar(ch)->value(), 255);
    }
    EXPECT_FALSE(doc->IsModified());
}

TEST_F(FormSetupTest, OpeningAPortInTheTableAndClosingIt) {
    Pick(QStringLiteral("COM1"));
    QTest::mouseClick(form->OpenPortButton(), Qt::LeftButton);
    EXPECT_TRUE(boxes.shown.empty());
    ASSERT_TRUE(form->Session().Port().isOpen());
    EXPECT_STREQ(form->Session().Port().portName(), "COM1");
    EXPECT_EQ(form->Session().Port().baudRate(), 115200);
    EXPECT_EQ(form->Session().Port().parity(), ParityNone);
    EXPECT_EQ(form->Session().Port().dataBits(), DataBits8);
    EXPECT_EQ(form->Session().Port().stopBits(), StopOne);
    EXPECT_EQ(form->Session().Port().flowControl(), FlowNone);
    EXPECT_EQ(form->Session().Port().readBufferSize(), 4096u);
    EXPECT_EQ(form->OpenPortButton()->text(), QStringLiteral("Close Port"));
    EXPECT_FALSE(form->PortList()->isEnabled());
    EXPECT_FALSE(form->Ports()->IsRefreshTimerActive());
    EXPECT_TRUE(form->DownloadButton()->isEnabled());

    // The line is really the one picked: a byte written reaches COM1's other end.
    ASSERT_EQ(form->Session().Port().write("\x5A", 1), 1);
    std::vector<unsigned char> got;
    ASSERT_TRUE(pty1.ReadSome(got, 2000));
    EXPECT_EQ(got, std::vector<unsigned char>{0x5A});

    QTest::mouseClick(form->OpenPortButton(), Qt::LeftButton);
    EXPECT_FALSE(form->Session().Port().isOpen());
    EXPECT_EQ(form->OpenPortButton()->text(), QStringLiteral("Open Port"));
    EXPECT_TRUE(form->PortList()->isEnabled());
    EXPECT_TRUE(form->Ports()->IsRefreshTimerActive());
    EXPECT_FALSE(form->DownloadButton()->isEnabled());
}

// A failed open keeps the form closed and tells the operator why, below the fixed first line.
TEST_F(FormSetupTest, FailedOpenNamesTheCause) {
    struct Case {
        const char* name;
        std::function<void()> prepare;
        const char* cause;
    };
    std::unique_ptr<CSerialPortBase> holder;
    PtyPair pty7;
    const std::vector<Case> cases = {
        {"missing",
         [&] {
             // An entry that no device has: the list may still show a name that vanished since the refresh.
             machine.AddPort(QStringLiteral("COM7"), QString::fromStdString(pty7.slaveName));
             form->Ports()->RefreshPortList();
             Pick(QStringLiteral("COM7"));
             machine.RemovePort(QStringLiteral("COM7"));
         },
         "COM7 was not found"},
        {"in use",
         [&] {
             holder = CreateSerialPort(machine.Table());
             holder->configure("COM10", 115200, ParityNone, DataBits8, StopOne, FlowNone, 4096);
             ASSERT_TRUE(holder->open());
             Pick(QStringLiteral("COM10"));
         },
         "COM10 is in use by another program"},
        {"empty list",
         [&] {
             machine.RemovePort(QStringLiteral("COM1"));
             machine.RemovePort(QStringLiteral("COM2"));
             machine.RemovePort(QStringLiteral("COM10"));
             form->Ports()->OnTimer(PortListModel::kRefreshTimerId);
             ASSERT_EQ(form->PortList()->count(), 0);
         },
         "No serial port is selected"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        boxes.shown.clear();
        c.prepare();
        QTest::mouseClick(form->OpenPortButton(), Qt::LeftButton);
        ASSERT_EQ(boxes.shown.size(), 1u);
        const QStringList lines = boxes.shown[0].text.split(QLatin1Char('\n'));
        ASSERT_EQ(lines.size(), 3);
        EXPECT_EQ(lines[0], QStringLiteral("串口已被占用！"));
        EXPECT_EQ(lines[1], QStringLiteral("The serial port is already in use."));
        EXPECT_TRUE(lines[2].startsWith(QLatin1String(c.cause))) << lines[2].toStdString();
        EXPECT_EQ(boxes.shown[0].type & MB_TYPEMASK, MB_OK);
        EXPECT_EQ(boxes.shown[0].type & MB_ICONMASK, MB_ICONEXCLAMATION);
        EXPECT_FALSE(form->Session().Port().isOpen());
        EXPECT_EQ(form->OpenPortButton()->text(), QStringLiteral("Open Port"));
        EXPECT_TRUE(form->PortList()->isEnabled());
        EXPECT_TRUE(form->Ports()->IsRefreshTimerActive());
        EXPECT_FALSE(form->DownloadButton()->isEnabled());
    }
}

// The line hangs up under an open port with nothing being sent (the adapter pulled out; here the far end
// of the pseudo-terminal closes): noticed at once by the receive thread, the port is closed, the form offers
// Open Port and says which port went away; once the device is back, Open Port works again.
TEST_F(FormSetupTest, TheOpenPortsLineHangingUpClosesThePort) {
    Pick(QStringLiteral("COM1"));
    QTest::mouseClick(form->OpenPortButton(), Qt::LeftButton);
    ASSERT_TRUE(form->Session().Port().isOpen());
    pty1.CloseMaster();
    ASSERT_TRUE(WaitFor([&] { return !form->Session().Port().isOpen(); }));
    EXPECT_EQ(form->OpenPortButton()->text(), QStringLiteral("Open Port"));
    EXPECT_TRUE(form->PortList()->isEnabled());
    EXPECT_TRUE(form->Ports()->IsRefreshTimerActive());
    EXPECT_FALSE(form->DownloadButton()->isEnabled());
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_TRUE(boxes.shown[0].text.startsWith(QLatin1String("The adapter of COM1 was unplugged")))
        << boxes.shown[0].text.toStdString();

    PtyPair back;
    machine.AddPort(QStringLiteral("COM1"), QString::fromStdString(back.slaveName));
    form->Ports()->OnTimer(PortListModel::kRefreshTimerId);
    Pick(QStringLiteral("COM1"));
    QTest::mouseClick(form->OpenPortButton(), Qt::LeftButton);
    EXPECT_TRUE(form->Session().Port().isOpen());
    EXPECT_EQ(boxes.shown.size(), 1u);
}

TEST_F(FormSetupTest, PermissionDeniedPointsToTheDialoutGroup) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "root opens any device node";
    }
    const QString node = machine.Path("dev") + QStringLiteral("/locked");
    QFile file(node);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    ASSERT_TRUE(file.setPermissions({}));
    machine.AddPort(QStringLiteral("COM5"), node);
    form->Ports()->RefreshPortList();
    Pick(QStringLiteral("COM5"));
    QTest::mouseClick(form->OpenPortButton(), Qt::LeftButton);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_TRUE(boxes.shown[0].text.contains(QLatin1String("Permission denied for COM5")));
    EXPECT_TRUE(boxes.shown[0].text.contains(QLatin1String("dialout")));
}

TEST_F(FormSetupTest, RefreshKeepsTheOperatorsPickWhileItIsPresent) {
    Pick(QStringLiteral("COM1"));
    form->Ports()->OnTimer(PortListModel::kRefreshTimerId);
    EXPECT_EQ(form->PortList()->currentText(), QStringLiteral("COM1"));

    // A new adapter does not take the operator's place.
    PtyPair pty3;
    machine.AddPort(QStringLiteral("COM3"), QString::fromStdString(pty3.slaveName));
    form->Ports()->OnTimer(PortListModel::kRefreshTimerId);
    EXPECT_EQ(ListEntries(), (QStringList{"COM1", "COM10", "COM2", "COM3"}));
    EXPECT_EQ(form->PortList()->currentText(), QStringLiteral("COM1"));

    // The picked port goes away: the last entry, and from then on the last entry again.
    machine.RemovePort(QStringLiteral("COM1"));
    form->Ports()->OnTimer(PortListModel::kRefreshTimerId);
    EXPECT_EQ(form->PortList()->currentText(), QStringLiteral("COM3"));
    machine.RemovePort(QStringLiteral("COM3"));
    form->Ports()->OnTimer(PortListModel::kRefreshTimerId);
    EXPECT_EQ(form->PortList()->currentText(), QStringLiteral("COM2"));
}

// An idle form does not rebuild its list every five seconds while the ports stay the same.
TEST_F(FormSetupTest, RefreshWithTheSameNamesLeavesTheListAlone) {
    QSignalSpy removed(form->PortList()->model(), &QAbstractItemModel::rowsRemoved);
    QSignalSpy reset(form->PortList()->model(), &QAbstractItemModel::modelReset);
    form->Ports()->OnTimer(PortListModel::kRefreshTimerId);
    EXPECT_EQ(removed.count(), 0);
    EXPECT_EQ(reset.count(), 0);
    EXPECT_EQ(ListEntries(), (QStringList{"COM1", "COM10", "COM2"}));
    EXPECT_EQ(form->PortList()->currentText(), QStringLiteral("COM2"));
}

TEST_F(FormSetupTest, InitialUpdateWithThePortOpenKeepsThePortStateAndPaintsTheRecipesSelection) {
    Pick(QStringLiteral("COM2"));
    QTest::mouseClick(form->OpenPortButton(), Qt::LeftButton);
    ASSERT_TRUE(form->Session().Port().isOpen());

    // As after opening a recipe whose current camera and position are 2 and 3.
    doc->SetCurrent(2, 3);
    doc->SetLevel(2, 3, 1, 77);
    doc->SendInitialUpdate();

    EXPECT_TRUE(form->Session().Port().isOpen());
    EXPECT_EQ(form->OpenPortButton()->text(), QStringLiteral("Close Port"));
    EXPECT_TRUE(form->DownloadButton()->isEnabled());
    EXPECT_FALSE(form->Ports()->IsRefreshTimerActive());
    EXPECT_FALSE(form->PortList()->isEnabled());
    EXPECT_EQ(form->PortList()->currentText(), QStringLiteral("COM2"));
    ExpectSelection(form, 2, 3);
    EXPECT_EQ(form->LevelBar(1)->value(), 77);
    EXPECT_EQ(form->Progress()->value(), 0);
}

TEST_F(FormSetupTest, DownloadControlsMessageTogglesExactlyTwoButtons) {
    Pick(QStringLiteral("COM1"));
    QTest::mouseClick(form->OpenPortButton(), Qt::LeftButton);
    ASSERT_TRUE(form->Session().Port().isOpen());

    struct Case {
        quintptr wParam;
        bool enabled;
    };
    const Case cases[] = {{0, false}, {1, true}, {0x100, false}, {0x201, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.wParam);
        // Posted to the form as the worker does.
        QMetaObject::invokeMethod(form, "OnDownloadControls", Qt::QueuedConnection, Q_ARG(quintptr, c.wParam),
                                  Q_ARG(qintptr, 0));
        EXPECT_EQ(form->DownloadButton()->isEnabled(), !c.enabled); // not yet: it is queued
        QCoreApplication::processEvents();
        EXPECT_EQ(form->DownloadButton()->isEnabled(), c.enabled);
        EXPECT_EQ(form->OpenPortButton()->isEnabled(), c.enabled);
        // Nothing else follows it.
        EXPECT_FALSE(form->PortList()->isEnabled());
        EXPECT_TRUE(form->CameraButton(2)->isEnabled());
        EXPECT_TRUE(form->PositionButton(4)->isEnabled());
        EXPECT_TRUE(form->LevelBar(8)->isEnabled());
    }
    EXPECT_EQ(form->OnDownloadControls(1, 0), 0);
}

} // namespace
