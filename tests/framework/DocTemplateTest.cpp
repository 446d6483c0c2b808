// The New, Open and Save sequences of the running program, with scripted message boxes and file
// dialogs, on real files; the recent-file list and its persistence; the archive and file errors.
#include "CArchive.h"
#include "CCommandLineInfo.h"
#include "CKAVOApp.h"
#include "CKAVODoc.h"
#include "CMainFrame.h"
#include "CRecentFileList.h"
#include "CSingleDocTemplate.h"
#include "FileError.h"
#include "FileTestSupport.h"
#include "ScriptedFileDialogs.h"
#include "ScriptedMessageBoxes.h"

#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QFileInfo>
#include <QMenu>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <future>
#include <memory>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using testfs::ReadAll;
using testfs::WriteAll;

namespace {

QByteArray NewRecipeBytes() {
    return QByteArray(240, '\0') + QByteArray(120, '\xFF');
}

// A recipe file whose first mask is the given value.
QByteArray RecipeWithFirstMask(std::uint16_t mask) {
    QByteArray bytes = NewRecipeBytes();
    bytes[0] = static_cast<char>(mask & 0xFF);
    bytes[1] = static_cast<char>(mask >> 8);
    return bytes;
}

class Sequences : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        QSettings().clear(); // the program's settings: the names are set by the test main
        m_app = std::make_unique<CKAVOApp>();
        m_app->SetRegisterShellFileTypes(false);
        ASSERT_TRUE(m_app->InitInstance({}));
        doc = m_app->Document();
        frame = m_app->MainFrame();
    }
    void TearDown() override {
        if (m_app != nullptr) {
            m_app->ExitInstance(0);
        }
    }
    QString Path(const QString& name) const { return QFileInfo(m_dir.filePath(name)).absoluteFilePath(); }
    QString File(const QString& name, const QByteArray& bytes) {
        EXPECT_TRUE(WriteAll(Path(name), bytes));
        return Path(name);
    }
    bool Open(const QString& path) {
        dialogs.openAnswers.push_back(path);
        return m_app->Template()->OnFileOpen();
    }
    QStringList Texts() const {
        QStringList texts;
        for (const auto& box : boxes.shown) {
            texts << box.text;
        }
        return texts;
    }

    QTemporaryDir m_dir;
    CScriptedMessageBoxes boxes;
    CScriptedFileDialogs dialogs;
    std::unique_ptr<CKAVOApp> m_app;
    CKAVODoc* doc = nullptr;
    CMainFrame* frame = nullptr;
};

TEST_F(Sequences, SaveOfANewRecipeAsksForANameAndTakesIt) {
    doc->OnAllLedOn();
    dialogs.saveAnswers.push_back(Path("first.aid"));
    ASSERT_TRUE(frame->RouteCommand(ID_FILE_SAVE));
    EXPECT_EQ(dialogs.saveAsked, 1);
    EXPECT_EQ(dialogs.lastFilters, QStringLiteral("KAVO Files (*.aid);;All Files (*.*)"));
    EXPECT_EQ(dialogs.lastSuggestedName, QStringLiteral("Untitled.aid"));
    EXPECT_EQ(ReadAll(Path("first.aid")).left(17), QByteArray(16, '\xFF') + '\0');
    EXPECT_FALSE(doc->IsModified());
    EXPECT_EQ(doc->GetTitle(), QStringLiteral("first.aid"));
    EXPECT_EQ(frame->Caption(), QStringLiteral("first.aid - KAVO_3C_8CH"));
    EXPECT_TRUE(boxes.shown.empty());

    // Save of a named recipe asks nothing; Save As always asks, with the current path offered.
    doc->OnAllLedOff();
    frame->RouteCommand(ID_FILE_SAVE);
    EXPECT_EQ(dialogs.saveAsked, 1);
    EXPECT_EQ(ReadAll(Path("first.aid")), NewRecipeBytes());
    dialogs.saveAnswers.push_back(Path("second.aid"));
    frame->RouteCommand(ID_FILE_SAVE_AS);
    EXPECT_EQ(dialogs.saveAsked, 2);
    EXPECT_EQ(dialogs.lastSuggestedName, Path("first.aid"));
    EXPECT_EQ(doc->GetPathName(), Path("second.aid"));
    EXPECT_EQ(m_app->RecentFiles()->Entries(), QStringList({Path("second.aid"), Path("first.aid")}));

    // A cancelled dialog saves nothing and keeps the recipe modified.
    doc->OnAllLedOn();
    frame->RouteCommand(ID_FILE_SAVE_AS);
    EXPECT_TRUE(doc->IsModified());
    EXPECT_EQ(doc->GetTitle(), QStringLiteral("second.aid"));
}

TEST_F(Sequences, FailedSaveShowsTheCauseAndKeepsTheRecipeModified) {
    File("plain", "x");
    doc->OnAllLedOn();
    dialogs.saveAnswers.push_back(Path("plain/r.aid"));
    EXPECT_FALSE(m_app->Template()->OnFileSaveAs());
    ASSERT_EQ(boxes.shown.size(), 1U);
    EXPECT_EQ(boxes.shown[0].text, Path("plain/r.aid") + " contains an invalid path.");
    EXPECT_EQ(boxes.shown[0].caption, QStringLiteral("KAVO"));
    EXPECT_EQ(boxes.shown[0].type & MB_ICONMASK, MB_ICONEXCLAMATION);
    EXPECT_TRUE(doc->IsModified());
    EXPECT_EQ(doc->GetTitle(), QStringLiteral("Untitled"));
    EXPECT_TRUE(m_app->RecentFiles()->Entries().isEmpty());
}

// "Save changes to %1?" before an Open: Cancel stops, No discards, Yes saves first.
TEST_F(Sequences, OpenAsksToSaveAModifiedRecipe) {
    const QString other = File("other.aid", RecipeWithFirstMask(0x0003));
    doc->OnAllLedOn();

    boxes.answers = {IDCANCEL};
    EXPECT_FALSE(Open(other));
    ASSERT_EQ(Texts(), QStringList({"Save changes to Untitled?"}));
    EXPECT_EQ(boxes.shown[0].type & MB_TYPEMASK, MB_YESNOCANCEL);
    EXPECT_EQ(doc->GetMask(1, 1, 1), 0xFFFF);
    EXPECT_TRUE(doc->IsModified());

    boxes.answers = {IDNO};
    EXPECT_TRUE(Open(other));
    EXPECT_EQ(doc->GetMask(1, 1, 1), 0x0003);
    EXPECT_FALSE(doc->IsModified());
    EXPECT_EQ(doc->GetTitle(), QStringLiteral("other.aid"));

    // Yes with a named recipe saves it in place, then opens.
    const QString third = File("third.aid", RecipeWithFirstMask(0x0700));
    doc->OnAllLedOff();
    boxes.answers = {IDYES};
    EXPECT_TRUE(Open(third));
    EXPECT_EQ(ReadAll(other), NewRecipeBytes());
    EXPECT_EQ(doc->GetMask(1, 1, 1), 0x0700);

    // Yes with an untitled recipe and a cancelled save dialog: no Open.
    frame->RouteCommand(ID_FILE_NEW);
    doc->OnAllLedOn();
    boxes.answers = {IDYES};
    EXPECT_FALSE(Open(other));
    EXPECT_EQ(dialogs.saveAsked, 1);
    EXPECT_EQ(doc->GetMask(1, 1, 1), 0xFFFF);
    EXPECT_TRUE(doc->IsModified());
}

TEST_F(Sequences, FileThatCannotBeOpenedLeavesTheRecipeAsItWas) {
    File("plain", "x");
    QDir(m_dir.path()).mkdir(QStringLiteral("folder.aid"));
    const QString own = File("own.aid", NewRecipeBytes());
    ASSERT_TRUE(Open(own));
    const QStringList recent = m_app->RecentFiles()->Entries();
    struct Case {
        QString path;
        QString message;
        bool modified;
    };
    const Case cases[] = {
        {Path("missing.aid"), Path("missing.aid") + " was not found.", true},
        {Path("plain/x.aid"), Path("plain/x.aid") + " contains an invalid path.", false},
        {Path("folder.aid"), "Access to " + Path("folder.aid") + " was denied.", true},
    };
    for (const Case& t : cases) {
        SCOPED_TRACE(t.path.toStdString());
        boxes.shown.clear();
        doc->SetMask(2, 2, 2, 0x1234);
        doc->OnHistoryCleanChanged(!t.modified);
        boxes.answers = {IDNO};
        EXPECT_FALSE(Open(t.path));
        EXPECT_EQ(Texts().last(), t.message);
        EXPECT_EQ(boxes.shown.back().type & MB_ICONMASK, MB_ICONEXCLAMATION);
        EXPECT_EQ(doc->IsModified(), t.modified);
        EXPECT_EQ(doc->GetMask(2, 2, 2), 0x1234);
        EXPECT_EQ(doc->GetPathName(), own);
        EXPECT_EQ(m_app->RecentFiles()->Entries(), recent);
    }
}

// A FIFO whose writer writes nothing, picked in the open or the save dialog: refused at once with
// the recipe as it was, and the FIFO stays a FIFO. Should the read hang, the watchdog closes the writer
// after a generous wait, so that the test fails instead of hanging.
TEST_F(Sequences, AFifoIsNeitherReadNorReplaced) {
    const QString fifo = Path("pipe.aid");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0644), 0);
    const int writer = ::open(QFile::encodeName(fifo).constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(writer, 0);
    std::promise<void> ended;
    std::atomic<bool> hung{false};
    std::thread watchdog([&, done = ended.get_future()] {
        if (done.wait_for(std::chrono::seconds(30)) == std::future_status::timeout) {
            hung = true;
            ::close(writer);
        }
    });

    doc->OnAllLedOn();
    boxes.answers = {IDNO};
    EXPECT_FALSE(Open(fifo));
    ended.set_value();
    watchdog.join();
    EXPECT_FALSE(hung) << "the open waited for the FIFO's writer";
    if (!hung) {
        ::close(writer);
    }
    EXPECT_EQ(Texts(), QStringList({"Save changes to Untitled?", fifo + " is a FIFO, not a document file."}));
    EXPECT_EQ(doc->GetMask(1, 1, 1), 0xFFFF);
    EXPECT_TRUE(doc->IsModified());
    EXPECT_EQ(doc->GetTitle(), QStringLiteral("Untitled"));

    boxes.shown.clear();
    dialogs.saveAnswers.push_back(fifo);
    frame->RouteCommand(ID_FILE_SAVE_AS);
    EXPECT_EQ(Texts(), QStringList({"Access to " + fifo + " was denied."}));
    struct stat st {};
    ASSERT_EQ(::lstat(QFile::encodeName(fifo).constData(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    EXPECT_TRUE(doc->IsModified());
    EXPECT_EQ(doc->GetTitle(), QStringLiteral("Untitled"));
}

TEST_F(Sequences, ShortFileResetsToANewUntitledRecipe) {
    const QString good = File("good.aid", RecipeWithFirstMask(0x00F0));
    ASSERT_TRUE(Open(good));
    doc->SetCurrent(3, 4);
    doc->OnAllLedOn();
    for (int size : {359, 240}) {
        SCOPED_TRACE(size);
        boxes.shown.clear();
        const QString path = File(QStringLiteral("short%1.aid").arg(size), QByteArray(size, '\x33'));
        boxes.answers = {IDNO};
        EXPECT_FALSE(Open(path));
        EXPECT_EQ(Texts().last(),
                  QStringLiteral("%1 is %2 bytes; a recipe file is 360 bytes.").arg(path).arg(size));
        EXPECT_EQ(doc->GetCurCamera(), 1);
        EXPECT_EQ(doc->GetCurPosition(), 1);
        EXPECT_FALSE(doc->IsPatternChanged());
        EXPECT_EQ(doc->GetMask(1, 1, 1), 0);
        EXPECT_EQ(doc->GetLevel(1, 1, 1), 255);
        EXPECT_FALSE(doc->IsModified());
        EXPECT_TRUE(doc->GetPathName().isEmpty());
        EXPECT_EQ(frame->Caption(), QStringLiteral("Untitled - KAVO_3C_8CH"));
        EXPECT_EQ(m_app->RecentFiles()->Entries(), QStringList({good}));
    }
}

TEST_F(Sequences, EmptyAndLongFilesOpenWithoutAWord) {
    doc->OnAllLedOn();
    boxes.answers = {IDNO};
    ASSERT_TRUE(Open(File("empty.aid", QByteArray())));
    EXPECT_EQ(Texts(), QStringList({"Save changes to Untitled?"}));
    EXPECT_EQ(doc->GetMask(1, 1, 1), 0xFFFF); // nothing read
    EXPECT_FALSE(doc->IsModified());
    EXPECT_EQ(doc->GetTitle(), QStringLiteral("empty.aid"));

    ASSERT_TRUE(Open(File("long.aid", RecipeWithFirstMask(0x0101) + QByteArray(100, '\x77'))));
    EXPECT_EQ(doc->GetMask(1, 1, 1), 0x0101);
    EXPECT_EQ(boxes.shown.size(), 1U);
}

TEST_F(Sequences, OpeningTheOwnFileAgainReadsNothing) {
    const QString own = File("own.aid", NewRecipeBytes());
    ASSERT_TRUE(Open(own));
    doc->OnAllLedOn();
    // The same file under another spelling of its path.
    EXPECT_TRUE(Open(m_dir.path() + "/./own.aid"));
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(doc->GetMask(1, 1, 1), 0xFFFF);
    EXPECT_TRUE(doc->IsModified());
}

TEST_F(Sequences, NewAsksFirstAndResetsEverything) {
    ASSERT_TRUE(Open(File("a.aid", RecipeWithFirstMask(0x0001))));
    doc->SetCurrent(2, doc->GetCurPosition());
    doc->OnAllLedOn();
    boxes.answers = {IDCANCEL};
    frame->RouteCommand(ID_FILE_NEW);
    EXPECT_EQ(doc->GetCurCamera(), 2);
    EXPECT_EQ(Texts(), QStringList({"Save changes to a.aid?"}));
    boxes.answers = {IDNO};
    frame->RouteCommand(ID_FILE_NEW);
    EXPECT_EQ(doc->GetCurCamera(), 1);
    EXPECT_FALSE(doc->IsPatternChanged());
    EXPECT_EQ(doc->GetMask(1, 1, 1), 0);
    EXPECT_FALSE(doc->IsModified());
    EXPECT_EQ(doc->GetTitle(), QStringLiteral("Untitled"));
    EXPECT_EQ(ReadAll(Path("a.aid")), RecipeWithFirstMask(0x0001));
}

TEST_F(Sequences, RecentListKeepsFourMostRecentFirstAndSurvivesARestart) {
    QStringList paths;
    for (int i = 1; i <= 5; ++i) {
        paths << File(QStringLiteral("r%1.aid").arg(i), RecipeWithFirstMask(static_cast<std::uint16_t>(i)));
        ASSERT_TRUE(Open(paths.last()));
    }
    const QStringList expected = {paths[4], paths[3], paths[2], paths[1]};
    EXPECT_EQ(m_app->RecentFiles()->Entries(), expected);
    // The File menu lists them, most recent first.
    QStringList menu;
    for (QAction* action : frame->FileMenu()->actions()) {
        if (action->isVisible() && action->data().toUInt() >= ID_FILE_MRU_FILE1 &&
            action->data().toUInt() <= ID_FILE_MRU_LAST) {
            menu << action->text();
        }
    }
    EXPECT_EQ(menu, QStringList({"&1 " + paths[4], "&2 " + paths[3], "&3 " + paths[2], "&4 " + paths[1]}));

    // An entry opened again moves to the top.
    ASSERT_TRUE(frame->RouteCommand(ID_FILE_MRU_FILE1 + 2));
    EXPECT_EQ(doc->GetMask(1, 1, 1), 3);
    EXPECT_EQ(m_app->RecentFiles()->Entries(), QStringList({paths[2], paths[4], paths[3], paths[1]}));

    // Another run of the program reads the same list.
    m_app->ExitInstance(0);
    m_app.reset();
    CKAVOApp again;
    again.SetRegisterShellFileTypes(false);
    ASSERT_TRUE(again.InitInstance({}));
    EXPECT_EQ(again.RecentFiles()->Entries(), QStringList({paths[2], paths[4], paths[3], paths[1]}));

    // An entry whose file is gone is reported and leaves the list.
    QFile::remove(paths[4]);
    again.MainFrame()->RouteCommand(ID_FILE_MRU_FILE1 + 1);
    EXPECT_EQ(Texts().last(), paths[4] + " was not found.");
    EXPECT_EQ(again.RecentFiles()->Entries(), QStringList({paths[2], paths[3], paths[1]}));
    again.ExitInstance(0);
}

TEST(CommandLine, UnreadableFileShowsTheMessageAndEnds) {
    QTemporaryDir dir;
    CScriptedMessageBoxes boxes;
    for (const QByteArray& bytes : {QByteArray(), QByteArray(100, '\x01')}) {
        const QString path = dir.filePath(QStringLiteral("f%1.aid").arg(bytes.size()));
        WriteAll(path, bytes);
    }
    {
        CKAVOApp app;
        app.SetRegisterShellFileTypes(false);
        EXPECT_FALSE(app.InitInstance(CCommandLineInfo::Parse({dir.filePath("missing.aid")})));
        EXPECT_EQ(app.MainFrame(), nullptr);
        ASSERT_EQ(boxes.shown.size(), 1U);
        EXPECT_EQ(boxes.shown[0].text, dir.filePath("missing.aid") + " was not found.");
    }
    {
        CKAVOApp app;
        app.SetRegisterShellFileTypes(false);
        EXPECT_FALSE(app.InitInstance(CCommandLineInfo::Parse({dir.filePath("f100.aid")})));
        EXPECT_EQ(boxes.shown.back().text,
                  dir.filePath("f100.aid") + " is 100 bytes; a recipe file is 360 bytes.");
    }
    {
        // A readable file opens instead of a new recipe.
        const QString path = dir.filePath("good.aid");
        WriteAll(path, RecipeWithFirstMask(0x4242));
        CKAVOApp app;
        app.SetRegisterShellFileTypes(false);
        ASSERT_TRUE(app.InitInstance(CCommandLineInfo::Parse({path})));
        EXPECT_EQ(app.Document()->GetMask(1, 1, 1), 0x4242);
        EXPECT_EQ(app.Document()->GetCurCamera(), 1);
        EXPECT_EQ(app.Document()->GetTitle(), QStringLiteral("good.aid"));
        EXPECT_FALSE(app.Document()->IsModified());
        EXPECT_EQ(boxes.shown.size(), 2U);
        app.ExitInstance(0);
    }
}

TEST(Archive, RawLittleEndianWordsAndBytesWithEndOfFile) {
    CArchive out;
    ASSERT_TRUE(out.IsStoring());
    out << std::uint16_t{0x8001} << std::uint8_t{0x7F} << std::uint16_t{0xBEEF};
    EXPECT_EQ(out.bytes(), QByteArray("\x01\x80\x7F\xEF\xBE", 5));

    // Through a device, as a file is read: a word with one byte left is the end of the file.
    QByteArray data = out.bytes() + QByteArray(4096, '\x11') + '\x22';
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    CArchive in(&buffer);
    ASSERT_TRUE(in.IsLoading());
    std::uint16_t w = 0;
    std::uint8_t b = 0;
    in >> w >> b;
    EXPECT_EQ(w, 0x8001);
    EXPECT_EQ(b, 0x7F);
    in >> w;
    EXPECT_EQ(w, 0xBEEF);
    for (int i = 0; i < 2048; ++i) {
        in >> w;
    }
    EXPECT_EQ(w, 0x1111);
    try {
        in >> w;
        FAIL() << "a word from one byte";
    } catch (const CArchiveException& e) {
        EXPECT_EQ(e.cause(), CArchiveException::endOfFile);
    }
}

TEST(FileErrors, EachCauseHasItsMessage) {
    struct Case {
        int err;
        const char* open;
        const char* write; // nullptr: only "Failed to save document." fits
    };
    const Case cases[] = {
        {ENOENT, "/r.aid was not found.", "/r.aid contains an invalid path."},
        {ENOTDIR, "/r.aid contains an invalid path.", "/r.aid contains an invalid path."},
        {EACCES, "Access to /r.aid was denied.", "Access to /r.aid was denied."},
        {EROFS, "Access to /r.aid was denied.", "Access to /r.aid was denied."},
        {EWOULDBLOCK, "A sharing violation occurred while accessing /r.aid.", nullptr},
        {EMFILE, "/r.aid could not be opened because there are too many open files.",
         "/r.aid could not be opened because there are too many open files."},
        {EIO, "A hardware I/O error was reported while accessing /r.aid.",
         "A hardware I/O error was reported while accessing /r.aid."},
        {ENOSPC, "Disk full while accessing /r.aid.", "Disk full while accessing /r.aid."},
        {EFAULT, "An unexpected error occurred while accessing /r.aid.", nullptr},
    };
    for (const Case& t : cases) {
        SCOPED_TRACE(t.err);
        EXPECT_EQ(MakeFileError(FileErrorIdForOpen(t.err), t.err, "/r.aid").message,
                  QString::fromUtf8(t.open));
        const UINT id = FileErrorIdForWrite(t.err);
        EXPECT_EQ(id == 0 ? QString() : MakeFileError(id, t.err, "/r.aid").message,
                  QString::fromUtf8(t.write));
    }
}

} // namespace
