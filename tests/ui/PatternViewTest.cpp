// The pattern view in the running main window: the click hit test, the cell colours on screen, the
// status panes, and the modified flag through edit, save, repaint and open.
#include "CKAVOApp.h"
#include "CKAVODoc.h"
#include "CMYView1.h"
#include "CMainFrame.h"
#include "CSingleDocTemplate.h"
#include "CStatusBar.h"
#include "ScriptedFileDialogs.h"
#include "ScriptedMessageBoxes.h"

#include <QApplication>
#include <QFile>
#include <QImage>
#include <QMouseEvent>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <ostream>

inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace {

const QColor kRed(255, 0, 0);
const QColor kBlack(0, 0, 0);

class PatternView : public ::testing::Test {
  protected:
    void SetUp() override {
        QSettings().clear(); // the program's settings: the names are set by the test main
        m_app = std::make_unique<CKAVOApp>();
        m_app->SetRegisterShellFileTypes(false);
        ASSERT_TRUE(m_app->InitInstance({}));
        doc = m_app->Document();
        view = m_app->MainFrame()->PatternPane();
        bar = m_app->MainFrame()->StatusBar();
        m_app->MainFrame()->resize(1100, 640); // wider than the offscreen screen's first fit
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_app->MainFrame()));
        ASSERT_GE(view->width(), 460);
        ASSERT_GE(view->height(), 280);
        Grab(); // the first paint sets the grid geometry
    }
    void TearDown() override { m_app->ExitInstance(0); }

    QImage Grab() { return view->grab().toImage(); }
    void Click(int x, int y) { QTest::mouseClick(view, Qt::LeftButton, Qt::NoModifier, QPoint(x, y)); }
    // The colour in the middle of the cell of channel row c, step s.
    static QColor Cell(const QImage& image, int c, int s) {
        return image.pixelColor(60 + 25 * (s - 1) + 9, 80 + 25 * (c - 1) + 9);
    }
    CKAVODoc::ChannelMasks Masks() const { return doc->CurrentMasks(); }

    CScriptedMessageBoxes boxes;
    CScriptedFileDialogs dialogs;
    std::unique_ptr<CKAVOApp> m_app;
    CKAVODoc* doc = nullptr;
    CMYView1* view = nullptr;
    CStatusBar* bar = nullptr;
};

// 21 accepted pixels, then a 4-pixel gap, per 25-pixel column and row.
TEST_F(PatternView, ClickHitTest) {
    struct Case {
        int x, y;
        int channel, step; // 0: the click changes nothing
    };
    const Case cases[] = {
        {60, 80, 1, 1},  {80, 100, 1, 1},   {81, 80, 0, 0},   {84, 80, 0, 0},
        {85, 80, 1, 2},  {455, 275, 8, 16}, {456, 275, 0, 0}, {455, 276, 0, 0},
        {59, 80, 0, 0},  {70, 70, 0, 0},    {70, 101, 0, 0},  {70, 104, 0, 0},
        {70, 105, 2, 1}, {435, 255, 8, 16}, {434, 255, 0, 0}, {200, 180, 5, 6},
    };
    for (const Case& t : cases) {
        SCOPED_TRACE(testing::Message() << "(" << t.x << ", " << t.y << ")");
        doc->OnNewDocument();
        CKAVODoc::ChannelMasks expected = Masks();
        Click(t.x, t.y);
        if (t.channel != 0) {
            expected[static_cast<size_t>(t.channel - 1)] = static_cast<std::uint16_t>(1U << (t.step - 1));
        }
        EXPECT_EQ(Masks(), expected);
        EXPECT_EQ(doc->IsModified(), t.channel != 0);
        EXPECT_EQ(doc->IsPatternChanged(), t.channel != 0);
    }
}

TEST_F(PatternView, ClickTurnsTheCellRedAndBackToBlack) {
    QImage image = Grab();
    EXPECT_EQ(Cell(image, 3, 5), kBlack);
    Click(60 + 25 * 4 + 3, 80 + 25 * 2 + 17); // channel 3, step 5
    image = Grab();
    EXPECT_EQ(Cell(image, 3, 5), kRed);
    // A cell is 19 x 19 pixels: the far corner is red, the pixel beyond it the background.
    EXPECT_EQ(image.pixelColor(160 + 18, 130 + 18), kRed);
    EXPECT_EQ(image.pixelColor(160, 130), kRed);
    EXPECT_NE(image.pixelColor(160 + 19, 130 + 9), kRed);
    EXPECT_NE(image.pixelColor(160 + 9, 130 + 19), kRed);
    EXPECT_EQ(Cell(image, 3, 4), kBlack);
    EXPECT_EQ(Cell(image, 2, 5), kBlack);

    // Toggled back: black again, and the recipe stays modified.
    Click(165, 135);
    image = Grab();
    EXPECT_EQ(Cell(image, 3, 5), kBlack);
    EXPECT_EQ(Masks(), CKAVODoc::ChannelMasks{});
    EXPECT_TRUE(doc->IsModified());
}

TEST_F(PatternView, ShowsTheCurrentCameraAndPositionAfterOpenAndAllLedCommands) {
    QTemporaryDir dir;
    // Camera 3, position 4: channel 2 lights steps 1 and 16.
    QByteArray bytes = QByteArray(240, '\0') + QByteArray(120, '\xFF');
    const int at = 2 * (40 * 2 + 8 * 3 + 1);
    bytes[at] = '\x01';
    bytes[at + 1] = '\x80';
    const QString path = dir.filePath("c3p4.aid");
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
    f.close();

    doc->SetCurrent(3, 4);
    ASSERT_TRUE(m_app->Template()->OpenDocumentFile(path));
    QImage image = Grab();
    EXPECT_EQ(Cell(image, 2, 1), kRed);
    EXPECT_EQ(Cell(image, 2, 16), kRed);
    EXPECT_EQ(Cell(image, 2, 2), kBlack);
    EXPECT_EQ(Cell(image, 1, 1), kBlack);

    m_app->MainFrame()->RouteCommand(ID_ALL_LED_ON);
    image = Grab();
    for (int c = 1; c <= 8; ++c) {
        EXPECT_EQ(Cell(image, c, c * 2), kRed) << c;
    }
    m_app->MainFrame()->RouteCommand(ID_ALL_LED_OFF);
    EXPECT_EQ(Cell(Grab(), 2, 1), kBlack);
}

TEST_F(PatternView, StatusPanes) {
    EXPECT_EQ(bar->GetPaneText(1), QStringLiteral(" CH = 8"));
    EXPECT_EQ(bar->GetPaneText(2), QStringLiteral(" Step = 16"));
    QMouseEvent move(QEvent::MouseMove, QPointF(123, 45), view->mapToGlobal(QPointF(123, 45)), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(view, &move);
    EXPECT_EQ(bar->GetPaneText(3), QStringLiteral(" x = 123  y = 45"));

    // With the status bar hidden, clicks still toggle.
    m_app->MainFrame()->RouteCommand(ID_VIEW_STATUS_BAR);
    ASSERT_FALSE(bar->isVisible());
    Click(60, 80);
    EXPECT_EQ(Masks()[0], 1);
    EXPECT_EQ(Cell(Grab(), 1, 1), kRed);
}

// An edit marks the recipe modified when it is made; a repaint never changes the flag, so a
// recipe just saved or just opened is not reported modified again.
TEST_F(PatternView, ModifiedFlagThroughEditSaveRepaintAndOpen) {
    QTemporaryDir dir;
    const QString saved = dir.filePath("saved.aid");
    Click(60, 80);
    EXPECT_TRUE(doc->IsModified());

    dialogs.saveAnswers.push_back(saved);
    ASSERT_TRUE(m_app->MainFrame()->RouteCommand(ID_FILE_SAVE));
    EXPECT_FALSE(doc->IsModified());
    EXPECT_TRUE(doc->IsPatternChanged());

    // Repaints, also after choosing another camera and position.
    Grab();
    doc->SetCurrent(2, 3);
    doc->UpdateAllViews(nullptr);
    QApplication::processEvents();
    view->repaint();
    Grab();
    EXPECT_FALSE(doc->IsModified());
    EXPECT_EQ(Cell(Grab(), 1, 1), kBlack); // camera 2, position 3 is still dark

    // Another file opened: not modified, and repaints leave it so.
    const QString other = dir.filePath("other.aid");
    QFile::copy(saved, other);
    ASSERT_TRUE(m_app->Template()->OpenDocumentFile(other));
    Grab();
    view->repaint();
    EXPECT_FALSE(doc->IsModified());
    EXPECT_TRUE(doc->IsPatternChanged());
    EXPECT_TRUE(boxes.shown.empty());

    // The next edit marks it; New ends the pattern-edited state.
    m_app->MainFrame()->RouteCommand(ID_ALL_LED_OFF);
    EXPECT_TRUE(doc->IsModified());
    boxes.answers = {IDNO};
    m_app->MainFrame()->RouteCommand(ID_FILE_NEW);
    EXPECT_FALSE(doc->IsPatternChanged());
    EXPECT_FALSE(doc->IsModified());
    Grab();
    EXPECT_FALSE(doc->IsModified());
}

} // namespace
