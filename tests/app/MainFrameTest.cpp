// The main window as a user meets it: caption, commands, bars, panes and splitter.
#include "CAboutDlg.h"
#include "CFormSetup.h"
#include "CKAVOApp.h"
#include "CKAVODoc.h"
#include "CMYView1.h"
#include "CMainFrame.h"
#include "CStatusBar.h"
#include "CommandIds.h"
#include "MenuEntry.h"
#include "ScratchHome.h"
#include "ScriptedMessageBoxes.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QStatusTipEvent>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <QToolTip>
#include <QUrl>

#include <gtest/gtest.h>

#include <map>

namespace {

class MainFrameTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(m_home.isValid());
        UseScratchHome(m_home);
        m_app.SetRegisterShellFileTypes(false);
        ASSERT_TRUE(m_app.InitInstance({}));
        frame()->resize(1100, 700);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(frame()));
        QApplication::processEvents();
    }

    CMainFrame* frame() { return m_app.MainFrame(); }
    CKAVODoc* doc() { return m_app.Document(); }

    // Makes the splitter exactly w pixels wide.
    void resizeSplitterTo(int w) {
        QSplitter* splitter = frame()->Splitter();
        frame()->resize(frame()->width() + (w - splitter->width()), frame()->height());
        QApplication::processEvents();
        ASSERT_EQ(splitter->width(), w);
    }

    QTemporaryDir m_home;
    CScriptedMessageBoxes m_boxes;
    CKAVOApp m_app;
};

TEST_F(MainFrameTest, CaptionNamesTheUntitledRecipeAndTheFrame) {
    EXPECT_EQ(frame()->Caption(), QStringLiteral("Untitled - KAVO_3C_8CH"));
    doc()->SetPathName(m_home.filePath("lamp.aid"));
    EXPECT_EQ(frame()->Caption(), QStringLiteral("lamp.aid - KAVO_3C_8CH"));
    // The desktop's modified mark after the name; a "[*]" in the name itself is shown as it is.
    doc()->MarkEdited();
    EXPECT_EQ(frame()->Caption(), QStringLiteral("lamp.aid* - KAVO_3C_8CH"));
    doc()->SetPathName(m_home.filePath("odd[*].aid"));
    EXPECT_EQ(frame()->Caption(), QStringLiteral("odd[*].aid* - KAVO_3C_8CH"));
    doc()->OnHistoryCleanChanged(true);
    EXPECT_EQ(frame()->Caption(), QStringLiteral("odd[*].aid - KAVO_3C_8CH"));
}

TEST_F(MainFrameTest, CommandsWithoutHandlerAreDisabledInMenuAndToolbar) {
    // Nothing to undo or redo yet, and nothing on the clipboard to paste.
    QGuiApplication::clipboard()->clear();
    QApplication::processEvents();
    struct Case {
        UINT id;
        bool enabled;
    };
    const Case cases[] = {
        {ID_FILE_NEW, true},         {ID_FILE_OPEN, true},    {ID_FILE_SAVE, true},
        {ID_FILE_SAVE_AS, true},     {ID_FILE_PRINT, true},   {ID_FILE_PRINT_PREVIEW, true},
        {ID_FILE_PRINT_SETUP, true}, {ID_APP_EXIT, true},     {ID_EDIT_UNDO, false},
        {ID_EDIT_REDO, false},       {ID_EDIT_CUT, true},     {ID_EDIT_COPY, true},
        {ID_EDIT_PASTE, false},      {ID_VIEW_TOOLBAR, true}, {ID_VIEW_STATUS_BAR, true},
        {ID_APP_ABOUT, true},        {ID_ALL_LED_OFF, true},  {ID_ALL_LED_ON, true},
    };
    for (const Case& c : cases) {
        QAction* action = frame()->Action(c.id);
        ASSERT_NE(action, nullptr) << c.id;
        EXPECT_EQ(action->isEnabled(), c.enabled) << c.id;
        if (QWidget* button = frame()->ToolBar()->widgetForAction(action)) {
            EXPECT_EQ(button->isEnabled(), c.enabled) << "toolbar " << c.id;
        }
    }
    // A disabled command does nothing from its accelerator either.
    EXPECT_FALSE(frame()->RouteCommand(ID_EDIT_PASTE));
    EXPECT_FALSE(frame()->RouteCommand(ID_EDIT_UNDO));
}

TEST_F(MainFrameTest, MenusCarryTheirTextsAndIds) {
    const QList<QAction*> menus = frame()->menuBar()->actions();
    QStringList titles;
    for (QAction* m : menus) {
        titles << m->text();
    }
    EXPECT_EQ(titles, (QStringList{"&File", "&Edit", "&View", "&Help"}));

    QStringList file;
    for (QAction* a : frame()->FileMenu()->actions()) {
        file << (a->isSeparator() ? QStringLiteral("-")
                                  : MenuEntry(a) + "=" + QString::number(a->data().toUInt()));
    }
    EXPECT_EQ(file, (QStringList{"&New\tCtrl+N=57600", "&Open...\tCtrl+O=57601", "&Save\tCtrl+S=57603",
                                 "Save &As...=57604", "-", "&Print...\tCtrl+P=57607", "Print Pre&view=57609",
                                 "P&rint Setup...=57606", "-", "Recent File=57616", "-", "E&xit=57665"}));
    EXPECT_FALSE(frame()->FileMenu()->actions().at(9)->isEnabled()); // greyed placeholder
}

// The keys of every command: each on one action only (a key on two actions is ambiguous and runs neither),
// the window's own keys wherever the platform's standard keys differ.
TEST_F(MainFrameTest, EveryKeyRunsOneCommand) {
    std::map<QString, UINT> commandOf;
    for (const QAction* action : frame()->findChildren<QAction*>()) {
        for (const QKeySequence& key : action->shortcuts()) {
            const QString name = key.toString();
            EXPECT_EQ(commandOf.count(name), 0u) << name.toStdString() << " on two actions";
            commandOf[name] = action->data().toUInt();
        }
    }
    const std::pair<const char*, UINT> keys[] = {
        {"Ctrl+N", ID_FILE_NEW},    {"Ctrl+O", ID_FILE_OPEN},       {"Ctrl+S", ID_FILE_SAVE},
        {"Ctrl+P", ID_FILE_PRINT},  {"Ctrl+Z", ID_EDIT_UNDO},       {"Alt+Backspace", ID_EDIT_UNDO},
        {"Ctrl+Y", ID_EDIT_REDO},   {"Ctrl+Shift+Z", ID_EDIT_REDO}, {"Ctrl+X", ID_EDIT_CUT},
        {"Shift+Del", ID_EDIT_CUT}, {"Ctrl+C", ID_EDIT_COPY},       {"Ctrl+Ins", ID_EDIT_COPY},
        {"Ctrl+V", ID_EDIT_PASTE},  {"Shift+Ins", ID_EDIT_PASTE},   {"F6", ID_NEXT_PANE},
        {"Shift+F6", ID_PREV_PANE},
    };
    for (const auto& [key, id] : keys) {
        EXPECT_EQ(commandOf[QString::fromLatin1(key)], id) << key;
    }
}

TEST_F(MainFrameTest, ToolbarHasTenButtonsThreeSeparatorsAndTheirTooltips) {
    const QList<QAction*> actions = frame()->ToolBar()->actions();
    QList<UINT> ids;
    for (QAction* a : actions) {
        ids << (a->isSeparator() ? 0U : a->data().toUInt());
    }
    EXPECT_EQ(ids,
              (QList<UINT>{57600, 57601, 57603, 0, 57635, 57634, 57637, 0, 57607, 57664, 0, 32781, 32782}));
    for (QAction* a : actions) {
        if (!a->isSeparator()) {
            EXPECT_EQ(a->icon().availableSizes().value(0), QSize(21, 20)) << a->data().toUInt();
        }
    }
    EXPECT_EQ(frame()->Action(ID_FILE_NEW)->toolTip(), QStringLiteral("New"));
    EXPECT_EQ(frame()->Action(ID_FILE_NEW)->statusTip(), QStringLiteral("Create a new document"));
    EXPECT_EQ(frame()->Action(ID_ALL_LED_OFF)->statusTip(), QStringLiteral("All LED Off"));

    // Hovering shows the prompt in the message pane; leaving brings "Ready" back.
    QStatusTipEvent hover(frame()->Action(ID_ALL_LED_ON)->statusTip());
    QApplication::sendEvent(frame(), &hover);
    EXPECT_EQ(frame()->StatusBar()->GetPaneText(0), QStringLiteral("All LED ON"));
    QStatusTipEvent leave{QString()};
    QApplication::sendEvent(frame(), &leave);
    EXPECT_EQ(frame()->StatusBar()->GetPaneText(0), QStringLiteral("Ready"));

    // New shows its tooltip; "All LED Off" has no tooltip part and its button shows none.
    auto askTooltip = [](QWidget* button) {
        QToolTip::hideText();
        QHelpEvent tip(QEvent::ToolTip, QPoint(2, 2), button->mapToGlobal(QPoint(2, 2)));
        QApplication::sendEvent(button, &tip);
        return QToolTip::isVisible() ? QToolTip::text() : QString();
    };
    EXPECT_EQ(askTooltip(frame()->ToolBar()->widgetForAction(frame()->Action(ID_ALL_LED_OFF))), QString());
    EXPECT_EQ(askTooltip(frame()->ToolBar()->widgetForAction(frame()->Action(ID_FILE_NEW))),
              QStringLiteral("New"));
}

TEST_F(MainFrameTest, StatusBarHasSevenPanesWithTheirWidthsAndFirstTexts) {
    CStatusBar* bar = frame()->StatusBar();
    ASSERT_EQ(bar->GetPaneCount(), 7);
    EXPECT_EQ(bar->GetPaneText(0), QStringLiteral("Ready"));
    EXPECT_EQ(bar->GetPaneWidth(1), 80);
    EXPECT_EQ(bar->GetPaneWidth(2), 80);
    // The mouse pane holds its text whole in its own font: the far corner of the grid and beyond.
    for (const char* text : {" x = 455  y = 275", " x = 1023  y = 767"}) {
        bar->SetPaneText(3, QString::fromLatin1(text));
        EXPECT_GE(bar->GetPaneWidth(3), bar->Pane(3)->sizeHint().width()) << text;
        EXPECT_GE(bar->GetPaneWidth(3), 100);
    }
    bar->SetPaneText(3, QStringLiteral("coordinate"));
    // The pattern view has painted once: channel and step counts are in; the mouse has not moved.
    EXPECT_EQ(bar->GetPaneText(1), QStringLiteral(" CH = 8"));
    EXPECT_EQ(bar->GetPaneText(2), QStringLiteral(" Step = 16"));
    EXPECT_EQ(bar->GetPaneText(3), QStringLiteral("coordinate"));
    EXPECT_EQ(bar->GetItemID(4), ID_INDICATOR_CAPS);
    EXPECT_EQ(bar->GetItemID(5), ID_INDICATOR_NUM);
    EXPECT_EQ(bar->GetItemID(6), ID_INDICATOR_SCRL);
    // Offscreen there are no lock states to read: the key panes stay blank.
    EXPECT_EQ(bar->GetPaneText(4), QString());
}

TEST(MainFrameSize, TheFirstSizeFitsTheScreensAvailableArea) {
    struct Case {
        QRect available;
        QSize size;
    };
    const Case cases[] = {
        {QRect(0, 0, 1920, 1040), QSize(1100, 640)}, // a desktop screen: the preferred size
        {QRect(0, 32, 1024, 568), QSize(1008, 520)}, // a small screen under a panel
        {QRect(0, 0, 1280, 672), QSize(1100, 624)},  // a scaled laptop screen: too low
        {QRect(), QSize(1100, 640)},                 // no screen known
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CMainFrame::InitialSize(c.available), c.size)
            << c.available.width() << "x" << c.available.height();
    }
}

TEST(MainFrameSize, TheWindowStartsWithinTheScreen) {
    QTemporaryDir home;
    qputenv("KAVO_PORTS_DIR", home.filePath("ports").toUtf8());
    CKAVOApp app;
    app.SetRegisterShellFileTypes(false);
    ASSERT_TRUE(app.InitInstance({}));
    const QRect available = app.MainFrame()->screen()->availableGeometry();
    EXPECT_LE(app.MainFrame()->width(), available.width());
    EXPECT_LE(app.MainFrame()->height(), available.height());
    app.ExitInstance(0);
}

TEST_F(MainFrameTest, SplitterGivesTheFormFiveHundredPixelsAndTheViewTheRest) {
    resizeSplitterTo(1000);
    EXPECT_EQ(frame()->FormPane()->width(), 500);
    EXPECT_EQ(frame()->PatternPane()->width(), 489);
    EXPECT_EQ(frame()->PatternPane()->x() - (frame()->FormPane()->x() + 500), 7);

    resizeSplitterTo(800);
    EXPECT_EQ(frame()->FormPane()->width(), 500);
    EXPECT_EQ(frame()->PatternPane()->width(), 289);

    resizeSplitterTo(511);
    EXPECT_EQ(frame()->FormPane()->width(), 500);
    EXPECT_EQ(frame()->PatternPane()->width(), 0);
}

TEST_F(MainFrameTest, ViewMenuTogglesTheBarsWithCheckMarks) {
    QAction* toolbar = frame()->Action(ID_VIEW_TOOLBAR);
    QAction* status = frame()->Action(ID_VIEW_STATUS_BAR);
    EXPECT_TRUE(toolbar->isChecked());
    EXPECT_TRUE(status->isChecked());

    toolbar->trigger();
    QApplication::processEvents();
    EXPECT_FALSE(frame()->ToolBar()->isVisible());
    EXPECT_FALSE(toolbar->isChecked());
    toolbar->trigger();
    QApplication::processEvents();
    EXPECT_TRUE(frame()->ToolBar()->isVisible());
    EXPECT_TRUE(toolbar->isChecked());

    status->trigger();
    QApplication::processEvents();
    EXPECT_FALSE(frame()->StatusBar()->isVisible());
    EXPECT_FALSE(status->isChecked());
    // With the status bar hidden the view still paints and writes its panes without harm.
    frame()->PatternPane()->repaint();
    status->trigger();
    QApplication::processEvents();
    EXPECT_TRUE(frame()->StatusBar()->isVisible());
    EXPECT_TRUE(status->isChecked());
}

TEST_F(MainFrameTest, AllLedOnFromTheToolbarTouchesOnlyTheCurrentCameraAndPosition) {
    doc()->SetCurrent(2, 5);
    frame()->Action(ID_ALL_LED_ON)->trigger();
    for (int c = 0; c < 3; ++c) {
        for (int p = 0; p < 5; ++p) {
            for (int k = 0; k < 8; ++k) {
                const std::uint16_t want = (c == 1 && p == 4) ? 0xFFFF : 0x0000;
                EXPECT_EQ(doc()->GetMask(c + 1, p + 1, k + 1), want) << c << p << k;
                EXPECT_EQ(doc()->GetLevel(c + 1, p + 1, k + 1), 255);
            }
        }
    }
    EXPECT_TRUE(doc()->IsPatternChanged());
    EXPECT_TRUE(doc()->IsModified());

    frame()->Action(ID_ALL_LED_OFF)->trigger();
    EXPECT_EQ(doc()->GetMask(2, 5, 1), 0x0000);
    EXPECT_EQ(doc()->GetMask(2, 5, 8), 0x0000);
}

TEST_F(MainFrameTest, AllLedOffOnDarkMasksStillCountsAsAnEdit) {
    frame()->Action(ID_ALL_LED_OFF)->trigger();
    EXPECT_TRUE(doc()->IsPatternChanged());
    EXPECT_TRUE(doc()->IsModified());
}

TEST_F(MainFrameTest, F6MovesTheFocusBetweenThePanes) {
    frame()->activateWindow();
    frame()->FormPane()->setFocus();
    QApplication::processEvents();
    ASSERT_TRUE(frame()->FormPane()->isAncestorOf(QApplication::focusWidget()) ||
                QApplication::focusWidget() == frame()->FormPane());
    QTest::keyClick(frame(), Qt::Key_F6);
    EXPECT_EQ(QApplication::focusWidget(), frame()->PatternPane());
    QTest::keyClick(frame(), Qt::Key_F6, Qt::ShiftModifier);
    EXPECT_TRUE(frame()->FormPane()->isAncestorOf(QApplication::focusWidget()) ||
                QApplication::focusWidget() == frame()->FormPane());
}

TEST_F(MainFrameTest, AboutBoxShowsNameVersionNoticeAndOk) {
    CAboutDlg dlg(frame());
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("About KAVO"));
    EXPECT_EQ(dlg.VersionLabel()->text(), QStringLiteral("KAVO V1.00"));
    EXPECT_FALSE(dlg.NoticeLabel()->text().isEmpty());
    EXPECT_EQ(dlg.OkButton()->text(), QStringLiteral("OK"));
    EXPECT_TRUE(dlg.OkButton()->isDefault());
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) {
        dlg.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
        QTest::keyClick(&dlg, key);
        EXPECT_FALSE(dlg.isVisible()) << key;
    }
}

TEST_F(MainFrameTest, ExitAsksToSaveAModifiedRecipeAndCancelKeepsTheWindow) {
    doc()->MarkEdited();
    m_boxes.answers = {IDCANCEL};
    frame()->Action(ID_APP_EXIT)->trigger();
    QApplication::processEvents();
    ASSERT_EQ(m_boxes.shown.size(), 1u);
    EXPECT_EQ(m_boxes.shown[0].text, QStringLiteral("Save changes to Untitled?"));
    EXPECT_EQ(m_boxes.shown[0].caption, QStringLiteral("KAVO"));
    EXPECT_EQ(m_boxes.shown[0].type & MB_TYPEMASK, MB_YESNOCANCEL);
    EXPECT_TRUE(frame()->isVisible());

    m_boxes.answers = {IDNO};
    frame()->Action(ID_APP_EXIT)->trigger();
    QApplication::processEvents();
    EXPECT_FALSE(frame()->isVisible());
}

TEST_F(MainFrameTest, AFileDroppedOnTheWindowOpensAsByOpen) {
    QByteArray bytes = QByteArray(240, '\0') + QByteArray(120, '\xFF'); // masks, then levels of 255
    bytes[0] = 0x03; // camera 1, position 1, channel 1: steps 1 and 2
    const QString path = m_home.filePath("dropped.aid");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    file.close();

    doc()->MarkEdited();
    m_boxes.answers = {IDNO}; // the save question comes first
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(path)});
    QDragEnterEvent enter(QPoint(300, 300), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(frame(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(300, 300), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(frame(), &drop);
    QApplication::processEvents();

    ASSERT_EQ(m_boxes.shown.size(), 1u);
    EXPECT_EQ(m_boxes.shown[0].text, QStringLiteral("Save changes to Untitled?"));
    EXPECT_EQ(doc()->GetTitle(), QStringLiteral("dropped.aid"));
    EXPECT_EQ(doc()->GetMask(1, 1, 1), 0x0003);
    EXPECT_FALSE(doc()->IsModified());
}

TEST_F(MainFrameTest, AltFThenXExits) {
    frame()->activateWindow();
    QApplication::processEvents();
    QTest::keyClick(frame(), Qt::Key_F, Qt::AltModifier);
    QApplication::processEvents();
    QMenu* file = frame()->FileMenu();
    ASSERT_TRUE(file->isVisible());
    QTest::keyClick(file, Qt::Key_X);
    QApplication::processEvents();
    EXPECT_FALSE(frame()->isVisible());
}

} // namespace
