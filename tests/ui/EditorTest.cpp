// The recipe editor in the running main window: undo and redo of every kind of edit, the merge of a burst on
// one slider, the clean state of a saved recipe, the clipboard in both forms, the typed level and the grid
// from the keyboard.
#include "CColorButton.h"
#include "CFormSetup.h"
#include "CKAVOApp.h"
#include "CKAVODoc.h"
#include "CMYView1.h"
#include "CMainFrame.h"
#include "CRecipeEditor.h"
#include "CSingleDocTemplate.h"
#include "DownloadFrame.h"
#include "MenuEntry.h"
#include "PositionFormats.h"
#include "ScriptedMessageBoxes.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QScrollBar>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QToolTip>
#include <QUndoStack>

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <ostream>

inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace {

class EditorTest : public ::testing::Test {
  public:
    void SetUp() override {
        QSettings().clear();
        QGuiApplication::clipboard()->clear();
        app = std::make_unique<CKAVOApp>();
        app->SetRegisterShellFileTypes(false);
        ASSERT_TRUE(app->InitInstance({}));
        frame = app->MainFrame();
        frame->resize(1100, 640);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(frame));
        frame->activateWindow();
        doc = app->Document();
        form = frame->FormPane();
        view = frame->PatternPane();
        stack = frame->Editor()->UndoStack();
        view->grab(); // the first paint sets the grid geometry
    }
    void TearDown() override { app->ExitInstance(0); }

    Recipe Snapshot() const { return doc->GetRecipe(); }
    void Select(int camera, int position) {
        QTest::mouseClick(form->CameraButton(camera), Qt::LeftButton);
        QTest::mouseClick(form->PositionButton(position), Qt::LeftButton);
    }
    void Type(int channel, const QString& text, Qt::Key key = Qt::Key_Return) {
        CLevelEdit* edit = form->LevelLabel(channel);
        edit->setFocus();
        edit->selectAll();
        QTest::keyClicks(edit, text);
        QTest::keyClick(edit, key);
    }
    void ClickCell(int channel, int step) {
        QTest::mouseClick(view, Qt::LeftButton, Qt::NoModifier,
                          QPoint(60 + 25 * (step - 1) + 5, 80 + 25 * (channel - 1) + 5));
    }
    static void Key(QWidget* w, QEvent::Type type, Qt::Key key, bool autoRepeat) {
        QKeyEvent event(type, key, Qt::NoModifier, QString(), autoRepeat);
        QApplication::sendEvent(w, &event);
    }
    QString UndoText() const { return MenuEntry(frame->Action(ID_EDIT_UNDO)); }
    QString RedoText() const { return MenuEntry(frame->Action(ID_EDIT_REDO)); }

    CScriptedMessageBoxes boxes;
    std::unique_ptr<CKAVOApp> app;
    CMainFrame* frame = nullptr;
    CKAVODoc* doc = nullptr;
    CFormSetup* form = nullptr;
    CMYView1* view = nullptr;
    QUndoStack* stack = nullptr;
};

// Each kind of edit, made at camera 2, position 3: one step named after it; undone (from another camera and
// position) it brings the recipe, the modified flag and the caption back and shows camera 2, position 3;
// redone it makes the edit again.
TEST_F(EditorTest, EveryKindOfEditIsOneStepThatUndoesAndRedoes) {
    struct Case {
        const char* what;
        std::function<void(EditorTest&)> prepare;
        std::function<void(EditorTest&)> edit;
    };
    const auto none = [](EditorTest&) {};
    const Case cases[] = {
        {"Slider", none,
         [](EditorTest& t) { t.form->LevelBar(4)->triggerAction(QAbstractSlider::SliderSingleStepSub); }},
        {"Slider", none,
         [](EditorTest& t) {
             QScrollBar* bar = t.form->LevelBar(2);
             bar->setSliderDown(true);
             bar->setSliderPosition(90);
             bar->setSliderPosition(100);
             bar->setSliderDown(false);
         }},
        {"Level", none, [](EditorTest& t) { t.Type(6, QStringLiteral("7")); }},
        {"Pattern", none, [](EditorTest& t) { t.ClickCell(3, 5); }},
        {"Pattern", none,
         [](EditorTest& t) {
             t.view->setFocus();
             QTest::keyClick(t.view, Qt::Key_Down);
             QTest::keyClick(t.view, Qt::Key_Space);
         }},
        {"All LED ON", none, [](EditorTest& t) { t.frame->Action(ID_ALL_LED_ON)->trigger(); }},
        // Already dark: still an edit of its own (the recipe is marked modified), and Undo takes it back.
        {"All LED Off", none, [](EditorTest& t) { t.frame->Action(ID_ALL_LED_OFF)->trigger(); }},
        {"Paste", none,
         [](EditorTest& t) {
             Recipe::ChannelLevels levels{1, 2, 3, 4, 5, 6, 7, 8};
             Recipe::ChannelMasks masks{0x0001, 0x8000, 0, 0, 0, 0, 0, 0xFFFF};
             QGuiApplication::clipboard()->setText(FormatPosition(1, 1, levels, masks));
             ASSERT_TRUE(t.frame->RouteCommand(ID_EDIT_PASTE));
         }},
        {"Cut", [](EditorTest& t) { t.frame->Action(ID_ALL_LED_ON)->trigger(); },
         [](EditorTest& t) { ASSERT_TRUE(t.frame->RouteCommand(ID_EDIT_CUT)); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        doc->OnNewDocument();
        doc->SendInitialUpdate();
        Select(2, 3);
        c.prepare(*this);
        stack->clear();
        ASSERT_FALSE(doc->IsModified());
        const Recipe before = Snapshot();

        c.edit(*this);
        const Recipe after = Snapshot();
        EXPECT_EQ(stack->count(), 1);
        EXPECT_TRUE(doc->IsModified());
        EXPECT_EQ(frame->Caption(), QStringLiteral("Untitled* - KAVO_3C_8CH"));
        EXPECT_EQ(UndoText(), QStringLiteral("&Undo %1\tCtrl+Z").arg(QLatin1String(c.what)));
        EXPECT_EQ(frame->Action(ID_EDIT_UNDO)->toolTip(),
                  QStringLiteral("Undo %1").arg(QLatin1String(c.what)));
        EXPECT_TRUE(frame->Action(ID_EDIT_UNDO)->isEnabled());

        Select(1, 1);
        ASSERT_TRUE(frame->RouteCommand(ID_EDIT_UNDO));
        EXPECT_TRUE(Snapshot() == before);
        EXPECT_FALSE(doc->IsModified());
        EXPECT_EQ(frame->Caption(), QStringLiteral("Untitled - KAVO_3C_8CH"));
        EXPECT_EQ(doc->GetCurCamera(), 2);
        EXPECT_EQ(doc->GetCurPosition(), 3);
        EXPECT_EQ(form->CameraButton(2)->FaceColor(), CFormSetup::kCameraColor);
        EXPECT_EQ(form->PositionButton(3)->FaceColor(), CFormSetup::kPositionColor);
        EXPECT_EQ(form->PositionButton(1)->FaceColor(), CFormSetup::kNormalColor);
        for (int ch = 1; ch <= 8; ++ch) {
            EXPECT_EQ(form->LevelBar(ch)->value(), before.m_levels[1][2][ch - 1]) << ch;
            EXPECT_EQ(form->LevelLabel(ch)->text(), QString::number(before.m_levels[1][2][ch - 1])) << ch;
        }
        EXPECT_EQ(RedoText(), QStringLiteral("&Redo %1\tCtrl+Y").arg(QLatin1String(c.what)));

        ASSERT_TRUE(frame->RouteCommand(ID_EDIT_REDO));
        EXPECT_TRUE(Snapshot() == after);
        EXPECT_TRUE(doc->IsModified());
        EXPECT_EQ(RedoText(), QStringLiteral("&Redo\tCtrl+Y"));
        EXPECT_FALSE(frame->Action(ID_EDIT_REDO)->isEnabled());
    }
}

TEST_F(EditorTest, TheEditMenuAndItsKeys) {
    QStringList items;
    QMenu* edit = frame->menuBar()->actions().at(1)->menu();
    ASSERT_NE(edit, nullptr);
    for (QAction* a : edit->actions()) {
        items << (a->isSeparator() ? QStringLiteral("-")
                                   : MenuEntry(a) + "=" + QString::number(a->data().toUInt()));
    }
    EXPECT_EQ(items, (QStringList{"&Undo\tCtrl+Z=57643", "&Redo\tCtrl+Y=57644", "-", "Cu&t\tCtrl+X=57635",
                                  "&Copy\tCtrl+C=57634", "&Paste\tCtrl+V=57637"}));

    QScrollBar* bar = form->LevelBar(1);
    bar->triggerAction(QAbstractSlider::SliderSingleStepSub);
    frame->Editor()->EndBurst();
    bar->triggerAction(QAbstractSlider::SliderSingleStepSub);
    ASSERT_EQ(doc->GetLevel(1, 1, 1), 253);
    struct Press {
        QKeyCombination keys;
        int level;
    };
    const Press presses[] = {{Qt::CTRL | Qt::Key_Z, 254},
                             {Qt::ALT | Qt::Key_Backspace, 255},
                             {Qt::CTRL | Qt::Key_Y, 254},
                             {Qt::CTRL | Qt::SHIFT | Qt::Key_Z, 253},
                             {Qt::CTRL | Qt::Key_Z, 254}};
    for (const Press& p : presses) {
        QTest::keyClick(frame, p.keys.key(), p.keys.keyboardModifiers());
        EXPECT_EQ(doc->GetLevel(1, 1, 1), p.level) << QKeySequence(p.keys).toString().toStdString();
    }

    // Paste follows the clipboard.
    QGuiApplication::clipboard()->clear();
    QApplication::processEvents();
    EXPECT_FALSE(frame->Action(ID_EDIT_PASTE)->isEnabled());
    QGuiApplication::clipboard()->setText(QStringLiteral("anything"));
    QApplication::processEvents();
    EXPECT_TRUE(frame->Action(ID_EDIT_PASTE)->isEnabled());
}

TEST_F(EditorTest, ABurstOnOneSliderIsOneStep) {
    doc->SetLevel(1, 1, 3, 100);
    doc->UpdateAllViews(nullptr, 0);
    stack->clear();
    QScrollBar* bar = form->LevelBar(3);

    // A held arrow key: one press, repeats, then the real release.
    Key(bar, QEvent::KeyPress, Qt::Key_Left, false);
    for (int i = 0; i < 4; ++i) {
        Key(bar, QEvent::KeyRelease, Qt::Key_Left, true);
        Key(bar, QEvent::KeyPress, Qt::Key_Left, true);
    }
    Key(bar, QEvent::KeyRelease, Qt::Key_Left, false);
    EXPECT_EQ(doc->GetLevel(1, 1, 3), 95);
    EXPECT_EQ(stack->count(), 1);

    // A second press is a step of its own; so is a drag, and a click on the arrow.
    Key(bar, QEvent::KeyPress, Qt::Key_Right, false);
    Key(bar, QEvent::KeyRelease, Qt::Key_Right, false);
    bar->setSliderDown(true);
    for (int pos : {80, 60, 40}) {
        bar->setSliderPosition(pos);
    }
    bar->setSliderDown(false);
    const int midY = bar->height() / 2;
    QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(bar->width() - 3, midY));
    QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(bar->width() - 3, midY));
    EXPECT_EQ(doc->GetLevel(1, 1, 3), 42);
    EXPECT_EQ(stack->count(), 5);

    // Another channel in between ends a burst too.
    form->LevelBar(4)->triggerAction(QAbstractSlider::SliderSingleStepSub);
    bar->triggerAction(QAbstractSlider::SliderSingleStepSub);
    EXPECT_EQ(stack->count(), 7);

    for (int level : {42, 42, 41, 40, 96, 95, 100}) {
        frame->RouteCommand(ID_EDIT_UNDO);
        EXPECT_EQ(doc->GetLevel(1, 1, 3), level) << stack->index();
    }
    EXPECT_EQ(doc->GetLevel(1, 1, 4), 255);
    EXPECT_FALSE(doc->IsModified());
}

TEST_F(EditorTest, UndoingToTheSavedStateLeavesTheRecipeUnmodifiedAndNewOrOpenClearTheHistory) {
    QTemporaryDir dir;
    const QString path = dir.filePath("saved.aid");
    ClickCell(1, 1);
    ASSERT_TRUE(app->Template()->DoSave(path));
    EXPECT_FALSE(doc->IsModified());
    EXPECT_EQ(frame->Caption(), QStringLiteral("saved.aid - KAVO_3C_8CH"));

    ClickCell(1, 2);
    EXPECT_TRUE(doc->IsModified());
    EXPECT_EQ(frame->Caption(), QStringLiteral("saved.aid* - KAVO_3C_8CH"));
    frame->RouteCommand(ID_EDIT_UNDO);
    EXPECT_FALSE(doc->IsModified()); // back at the saved recipe
    frame->RouteCommand(ID_EDIT_UNDO);
    EXPECT_TRUE(doc->IsModified()); // before the save
    EXPECT_EQ(doc->GetMask(1, 1, 1), 0);
    frame->RouteCommand(ID_EDIT_REDO);
    EXPECT_FALSE(doc->IsModified());
    EXPECT_EQ(doc->GetMask(1, 1, 1), 1);

    // A slider step starting at the saved state does not merge into the step before it.
    ClickCell(2, 1);
    ASSERT_TRUE(app->Template()->DoSave(path));
    form->LevelBar(1)->triggerAction(QAbstractSlider::SliderSingleStepSub);
    frame->RouteCommand(ID_EDIT_UNDO);
    EXPECT_FALSE(doc->IsModified());

    boxes.answers = {IDNO};
    ASSERT_TRUE(frame->RouteCommand(ID_FILE_NEW));
    EXPECT_EQ(stack->count(), 0);
    EXPECT_FALSE(frame->Action(ID_EDIT_UNDO)->isEnabled());
    EXPECT_EQ(UndoText(), QStringLiteral("&Undo\tCtrl+Z"));

    ClickCell(1, 1);
    ASSERT_TRUE(app->OpenDocumentFile(path)); // asks to save: no
    EXPECT_EQ(stack->count(), 0);
    EXPECT_FALSE(doc->IsModified());
}

// The frames of a position: each channel's level and mask value, as downloaded.
std::map<int, std::uint16_t> FramesOf(const CKAVODoc& doc, int camera, int position) {
    std::map<int, std::uint16_t> values;
    for (const DownloadFrame& f :
         BuildDownloadFrames(doc.GetRecipe().m_levels, doc.GetRecipe().m_stepMasks)) {
        for (bool mask : {false, true}) {
            if (f[2] == kavo::download::FrameAddress(camera, position, mask)) {
                values[(mask ? 100 : 0) + f[1]] = static_cast<std::uint16_t>(f[3] << 8 | f[4]);
            }
        }
    }
    return values;
}

TEST_F(EditorTest, CopyThenPasteToAnotherPositionDownloadsTheSameFrames) {
    Select(2, 1);
    for (int ch = 1; ch <= 8; ++ch) {
        Type(ch, QString::number(10 * ch));
        ClickCell(ch, ch);
        ClickCell(ch, 17 - ch);
    }
    ASSERT_TRUE(frame->RouteCommand(ID_EDIT_COPY));
    const QMimeData* mime = QGuiApplication::clipboard()->mimeData();
    ASSERT_NE(mime, nullptr);
    EXPECT_EQ(mime->data(QString::fromLatin1(CRecipeEditor::kPositionMimeType)),
              PositionBytes(doc->LevelsAt(2, 1), doc->MasksAt(2, 1)));
    EXPECT_EQ(mime->text(), FormatPosition(2, 1, doc->LevelsAt(2, 1), doc->MasksAt(2, 1)));
    EXPECT_TRUE(mime->text().contains(QStringLiteral("  CH9         10  #..............#\n")));

    Select(3, 4);
    ASSERT_TRUE(frame->RouteCommand(ID_EDIT_PASTE));
    EXPECT_EQ(UndoText(), QStringLiteral("&Undo Paste\tCtrl+Z"));
    const auto copied = FramesOf(*doc, 2, 1);
    ASSERT_EQ(copied.size(), 16u);
    EXPECT_EQ(FramesOf(*doc, 3, 4), copied);
    EXPECT_EQ(form->LevelBar(8)->value(), 80);

    // Cut: copied, then the new-recipe values.
    Select(2, 1);
    ASSERT_TRUE(frame->RouteCommand(ID_EDIT_CUT));
    EXPECT_EQ(doc->LevelsAt(2, 1), Recipe::ChannelLevels({255, 255, 255, 255, 255, 255, 255, 255}));
    EXPECT_EQ(doc->MasksAt(2, 1), Recipe::ChannelMasks{});
    Select(1, 2);
    ASSERT_TRUE(frame->RouteCommand(ID_EDIT_PASTE));
    EXPECT_EQ(FramesOf(*doc, 1, 2), copied);
}

TEST_F(EditorTest, PastedTextIsReadAsEditedAndRubbishChangesNothing) {
    Recipe::ChannelLevels levels;
    levels.fill(200);
    Recipe::ChannelMasks masks{};
    QString text = FormatPosition(1, 1, levels, masks);
    // Edited by hand: the headings gone, channel 3 dimmer with steps 1 and 16 lit, the lines spaced anew.
    QStringList lines = text.split('\n').mid(3);
    lines[2] = QStringLiteral("CH3 42 #..............#");
    text = lines.join('\n');
    QGuiApplication::clipboard()->setText(text);
    Select(2, 2);
    ASSERT_TRUE(frame->RouteCommand(ID_EDIT_PASTE));
    EXPECT_EQ(doc->GetLevel(2, 2, 3), 42);
    EXPECT_EQ(doc->GetMask(2, 2, 3), 0x8001);
    EXPECT_EQ(doc->GetLevel(2, 2, 8), 200);
    EXPECT_TRUE(boxes.shown.empty());

    const Recipe before = Snapshot();
    const int steps = stack->count();
    QGuiApplication::clipboard()->setText(QStringLiteral("CH1 255 ................\nhello world"));
    ASSERT_TRUE(frame->RouteCommand(ID_EDIT_PASTE));
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_TRUE(boxes.shown[0].text.contains(QStringLiteral("Line 2:"))) << boxes.shown[0].text.toStdString();
    EXPECT_TRUE(boxes.shown[0].text.contains(QStringLiteral("\"hello world\"")))
        << boxes.shown[0].text.toStdString();
    EXPECT_TRUE(Snapshot() == before);
    EXPECT_EQ(stack->count(), steps);
}

// What the clipboard may hold beyond a position: megabytes on one line, control characters, the exact form
// with a level 0. Each is one short message on one screen, and nothing changes.
TEST_F(EditorTest, PasteRefusesHugeTextAndLevelZeroWithAShortMessage) {
    Recipe::ChannelLevels zeroAt3;
    zeroAt3.fill(100);
    zeroAt3[2] = 0;
    const QString line(60'000, QLatin1Char('x')); // under the cap, one line
    struct Case {
        const char* name;
        std::function<QMimeData*()> clipboard;
        const char* reason; // in the message
    };
    const Case cases[] = {
        {"10 MB line",
         [] {
             auto* mime = new QMimeData;
             mime->setText(QString(10 * 1024 * 1024, QLatin1Char('#')));
             return mime;
         },
         "The text is 10240 KiB long; a position's text is at most 64 KiB."},
        {"long line",
         [&] {
             auto* mime = new QMimeData;
             mime->setText(line);
             return mime;
         },
         "Line 1: expected a channel"},
        {"control characters",
         [] {
             auto* mime = new QMimeData;
             mime->setText(QStringLiteral("CH1 \x1b[2J\x07 ................"));
             return mime;
         },
         R"(Line 1: the level "\x1b[2J\x07" is not a number)"},
        {"bytes with level 0",
         [&] {
             auto* mime = new QMimeData;
             mime->setData(QString::fromLatin1(CRecipeEditor::kPositionMimeType),
                           PositionBytes(zeroAt3, Recipe::ChannelMasks{}));
             mime->setText(QStringLiteral("rubbish that is not read"));
             return mime;
         },
         "Channel 3: the level 0 is not a number from 1 to 255."},
    };
    Select(2, 3);
    const Recipe before = Snapshot();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        boxes.shown.clear();
        QGuiApplication::clipboard()->setMimeData(c.clipboard());
        QApplication::processEvents();
        EXPECT_TRUE(frame->Action(ID_EDIT_PASTE)->isEnabled());
        ASSERT_TRUE(frame->RouteCommand(ID_EDIT_PASTE));
        ASSERT_EQ(boxes.shown.size(), 1u);
        const QString& text = boxes.shown[0].text;
        EXPECT_TRUE(text.contains(QString::fromUtf8(c.reason))) << text.toStdString();
        EXPECT_LE(text.size(), 300) << text.left(400).toStdString();
        EXPECT_EQ(text.count(QLatin1Char('\n')), 1);
        EXPECT_TRUE(Snapshot() == before);
        EXPECT_EQ(stack->count(), 0);
    }
}

TEST_F(EditorTest, TypedLevelsFromOneTo255AreTakenAndOthersRefused) {
    struct Case {
        const char* typed;
        int level; // 0: refused
    };
    const Case cases[] = {{"0", 0}, {"256", 0}, {"abc", 0}, {"-5", 0}, {" ", 0}, {"128", 128}, {" 1 ", 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        doc->OnNewDocument();
        doc->SendInitialUpdate();
        Type(5, QString::fromLatin1(c.typed));
        CLevelEdit* edit = form->LevelLabel(5);
        if (c.level == 0) {
            EXPECT_TRUE(edit->IsRefused());
            EXPECT_EQ(doc->GetLevel(1, 1, 5), 255);
            EXPECT_EQ(stack->count(), 0);
            EXPECT_FALSE(doc->IsModified());
            // The cue is seen: the entry is painted red.
            const QImage image = edit->grab().toImage();
            EXPECT_EQ(QColor(image.pixel(image.width() - 2, image.height() / 2)), QColor(0xff, 0x90, 0x90));
            QTest::keyClick(edit, Qt::Key_Escape);
            EXPECT_FALSE(edit->IsRefused());
            EXPECT_EQ(edit->text(), QStringLiteral("255"));
        } else {
            EXPECT_FALSE(edit->IsRefused());
            EXPECT_EQ(doc->GetLevel(1, 1, 5), c.level);
            EXPECT_EQ(form->LevelBar(5)->value(), c.level);
            EXPECT_EQ(edit->text(), QString::number(c.level));
            EXPECT_EQ(UndoText(), QStringLiteral("&Undo Level\tCtrl+Z"));
            frame->RouteCommand(ID_EDIT_UNDO);
            EXPECT_EQ(doc->GetLevel(1, 1, 5), 255);
            EXPECT_EQ(form->LevelBar(5)->value(), 255);
            EXPECT_EQ(edit->text(), QStringLiteral("255"));
        }
    }
    // Escape before Enter keeps the level.
    Type(5, QStringLiteral("77"), Qt::Key_Escape);
    EXPECT_EQ(form->LevelLabel(5)->text(), QStringLiteral("255"));
    EXPECT_EQ(doc->GetLevel(1, 1, 5), 255);
}

// A level leaving the entry is taken as Enter takes it; one that is no level gives way to the held level and
// the tip says what is taken.
TEST_F(EditorTest, ATypedLevelIsTakenOnLeavingTheEntry) {
    CLevelEdit* edit = form->LevelLabel(5);
    Type(5, QStringLiteral("77"), Qt::Key_Tab);
    EXPECT_FALSE(edit->hasFocus());
    EXPECT_EQ(doc->GetLevel(1, 1, 5), 77);
    EXPECT_EQ(form->LevelBar(5)->value(), 77);
    EXPECT_EQ(UndoText(), QStringLiteral("&Undo Level\tCtrl+Z"));
    EXPECT_EQ(stack->count(), 1);

    QToolTip::hideText();
    Type(5, QStringLiteral("300"), Qt::Key_Tab);
    EXPECT_EQ(edit->text(), QStringLiteral("77"));
    EXPECT_FALSE(edit->IsRefused());
    EXPECT_EQ(doc->GetLevel(1, 1, 5), 77);
    EXPECT_EQ(stack->count(), 1);
    QApplication::processEvents();
    EXPECT_TRUE(QToolTip::isVisible());
    EXPECT_EQ(QToolTip::text(), edit->toolTip());
    QToolTip::hideText();
}

// A file whose levels are 0 opens as it is, says so once, and its sliders neither show nor make a 1 they
// were not moved to: a step down keeps 0, a release where the thumb stands keeps 0, a step up takes 1.
TEST_F(EditorTest, LevelsOfZeroFromAFileAreNamedOnceAndKeptUntilMoved) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("zeros.aid"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(QByteArray(360, '\0')), 360);
    file.close();

    ASSERT_TRUE(app->OpenDocumentFile(path));
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].type & MB_ICONMASK, MB_ICONEXCLAMATION);
    EXPECT_TRUE(
        boxes.shown[0].text.startsWith(QStringLiteral("zeros.aid holds 120 levels outside 1 to 255.")))
        << boxes.shown[0].text.toStdString();
    EXPECT_TRUE(boxes.shown[0].text.endsWith(QStringLiteral("\n... and 9 more positions")));
    EXPECT_EQ(doc->GetLevel(1, 1, 1), 0);
    EXPECT_FALSE(doc->IsModified());

    for (int ch = 1; ch <= 8; ++ch) {
        EXPECT_EQ(form->LevelBar(ch)->value(), 0);
        EXPECT_EQ(form->LevelLabel(ch)->text(), QStringLiteral("0"));
    }
    form->LevelBar(1)->triggerAction(QAbstractSlider::SliderSingleStepSub);
    EXPECT_EQ(doc->GetLevel(1, 1, 1), 0);
    EXPECT_EQ(form->LevelBar(1)->value(), 0);
    form->OnHScroll(SB_THUMBPOSITION, form->LevelBar(2)->value(), form->LevelBar(2));
    EXPECT_EQ(doc->GetLevel(1, 1, 2), 0);
    Type(4, QStringLiteral("0")); // the held 0 is not offered again, nor refused
    EXPECT_FALSE(form->LevelLabel(4)->IsRefused());
    EXPECT_EQ(stack->count(), 0);

    form->LevelBar(3)->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(doc->GetLevel(1, 1, 3), 1);
    EXPECT_EQ(form->LevelBar(3)->value(), 1);
    EXPECT_EQ(stack->count(), 1);
    EXPECT_EQ(boxes.shown.size(), 1u);
}

// The field reads as a label on the form until it is typed in, then white, and red when refused; its font is
// the form's in every one of these states.
TEST_F(EditorTest, ALevelFieldKeepsTheFormsFontInEveryState) {
    CLevelEdit* edit = form->LevelLabel(3);
    QWidget* page = edit->parentWidget();
    const QFont formFont = page->font();
    // As seen on the form: the field over what lies beneath it.
    const auto background = [&] {
        const QImage image = page->grab(edit->geometry()).toImage();
        return QColor(image.pixel(image.width() - 2, image.height() / 2));
    };
    const auto expectFormFont = [&](const char* state) {
        SCOPED_TRACE(state);
        EXPECT_EQ(edit->font(), formFont);
        EXPECT_EQ(QFontInfo(edit->font()).pointSizeF(), QFontInfo(formFont).pointSizeF());
    };
    expectFormFont("shown");
    const QColor shown = background();
    edit->hide();
    EXPECT_EQ(shown, background());
    edit->show();
    edit->setFocus();
    EXPECT_EQ(background(), QColor(Qt::white));
    expectFormFont("typed in");
    Type(3, QStringLiteral("0"));
    ASSERT_TRUE(edit->IsRefused());
    EXPECT_EQ(background(), QColor(0xff, 0x90, 0x90));
    expectFormFont("refused");
    QTest::keyClick(edit, Qt::Key_Escape);
    expectFormFont("restored");
}

TEST_F(EditorTest, TheGridFromTheKeyboard) {
    view->setFocus();
    ASSERT_TRUE(view->hasFocus());
    EXPECT_EQ(view->FocusChannel(), 1);
    EXPECT_EQ(view->FocusStep(), 1);
    struct Move {
        Qt::Key key;
        int channel, step;
    };
    const Move moves[] = {{Qt::Key_Left, 1, 1},  {Qt::Key_Up, 1, 1},   {Qt::Key_Right, 1, 2},
                          {Qt::Key_Right, 1, 3}, {Qt::Key_Down, 2, 3}, {Qt::Key_Down, 3, 3}};
    for (const Move& m : moves) {
        QTest::keyClick(view, m.key);
        EXPECT_EQ(view->FocusChannel(), m.channel);
        EXPECT_EQ(view->FocusStep(), m.step);
    }
    for (int i = 0; i < 20; ++i) {
        QTest::keyClick(view, Qt::Key_Right);
        QTest::keyClick(view, Qt::Key_Down);
    }
    EXPECT_EQ(view->FocusChannel(), 8);
    EXPECT_EQ(view->FocusStep(), 16);
    QTest::keyClick(view, Qt::Key_Space);
    EXPECT_EQ(doc->GetMask(1, 1, 8), 0x8000);

    // The focus cell is outlined; the toggled cell is red.
    const QImage image = view->grab().toImage();
    const int x = 60 + 25 * 15;
    const int y = 80 + 25 * 7;
    EXPECT_EQ(image.pixelColor(x + 9, y + 9), QColor(255, 0, 0));
    EXPECT_EQ(image.pixelColor(x - 2, y + 9), view->palette().color(QPalette::Highlight));

    QTest::keyClick(view, Qt::Key_Space);
    EXPECT_EQ(doc->GetMask(1, 1, 8), 0);
    EXPECT_EQ(stack->count(), 2);
    frame->RouteCommand(ID_EDIT_UNDO);
    EXPECT_EQ(doc->GetMask(1, 1, 8), 0x8000);

    // A click puts the focus cell where it toggled.
    ClickCell(4, 6);
    EXPECT_EQ(view->FocusChannel(), 4);
    EXPECT_EQ(view->FocusStep(), 6);
}

TEST_F(EditorTest, FocusedButtonsAndSlidersShowAFocusMark) {
    for (QWidget* w :
         std::initializer_list<QWidget*>{form->CameraButton(2), form->PositionButton(4), form->LevelBar(3)}) {
        form->OpenPortButton()->setFocus();
        const QImage plain = w->grab().toImage();
        w->setFocus(Qt::TabFocusReason);
        ASSERT_TRUE(w->hasFocus());
        EXPECT_NE(w->grab().toImage(), plain) << w->objectName().toStdString();
    }
}

} // namespace
