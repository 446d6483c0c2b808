// The recipe document and its .aid files, on real files in temporary folders.
#include "CKAVODoc.h"
#include "CViewBase.h"
#include "FileName.h"
#include "FileTestSupport.h"

#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <dirent.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <utility>
#include <vector>

using testfs::ReadAll;
using testfs::WriteAll;

namespace {

class CountingView : public CViewBase {
  public:
    void OnUpdate(CViewBase*, long) override { ++updates; }
    int updates = 0;
};

QByteArray NewRecipeBytes() {
    return QByteArray(240, '\0') + QByteArray(120, '\xFF');
}

// Fills every mask and level with a value of its own, so that a misplaced byte shows.
void FillDistinct(CKAVODoc& doc) {
    int n = 0;
    for (int c = 0; c < 3; ++c) {
        for (int p = 0; p < 5; ++p) {
            for (int k = 0; k < 8; ++k, ++n) {
                doc.m_stepMasks[c][p][k] = static_cast<std::uint16_t>(0x0101 * n + 0x8000);
                doc.m_levels[c][p][k] = static_cast<std::uint8_t>(n * 2 + 1);
            }
        }
    }
}

void ExpectNewRecipe(const CKAVODoc& doc) {
    EXPECT_EQ(doc.m_curCamera, 1);
    EXPECT_EQ(doc.m_curPosition, 1);
    EXPECT_EQ(doc.m_stepCount, 16);
    EXPECT_EQ(doc.m_patternChanged, 0);
    EXPECT_FALSE(doc.IsModified());
    Recipe::ChannelLevels full;
    full.fill(255);
    for (int c = 0; c < 3; ++c) {
        for (int p = 0; p < 5; ++p) {
            EXPECT_EQ(doc.m_stepMasks[c][p], Recipe::ChannelMasks{});
            EXPECT_EQ(doc.m_levels[c][p], full);
        }
    }
}

class RecipeFile : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        m_doc.OnNewDocument();
    }
    QString Path(const QString& name) const { return m_dir.filePath(name); }
    QByteArray Save(const QString& name = QStringLiteral("r.aid")) {
        QString error;
        EXPECT_TRUE(m_doc.SaveFile(Path(name), &error)) << error.toStdString();
        return ReadAll(Path(name));
    }

    QTemporaryDir m_dir;
    CKAVODoc m_doc;
};

TEST_F(RecipeFile, NewRecipeIs240ZeroBytesThen120FF) {
    ExpectNewRecipe(m_doc);
    EXPECT_EQ(Save(), NewRecipeBytes());
}

TEST_F(RecipeFile, WorkedExamplesLandOnTheirBytes) {
    m_doc.OnAllLedOn(); // camera 1, position 1
    m_doc.m_stepMasks[0][1][0] = 0x8001;
    m_doc.m_levels[1][2][3] = 128;
    QByteArray expected = NewRecipeBytes();
    expected.replace(0, 16, QByteArray(16, '\xFF'));
    expected[16] = '\x01';
    expected[17] = '\x80';
    expected[299] = '\x80';
    EXPECT_EQ(Save(), expected);

    // The corners of both blocks, camera 2 position 3 channel 4, and the far end.
    m_doc.OnNewDocument();
    struct Case {
        int c, p, k;
        int maskByte, levelByte;
    };
    const Case cases[] = {{1, 1, 8, 14, 247}, {2, 1, 1, 80, 280}, {2, 3, 4, 118, 299}, {3, 5, 8, 238, 359}};
    for (const Case& t : cases) {
        m_doc.m_stepMasks[t.c - 1][t.p - 1][t.k - 1] = 0xBEEF;
        m_doc.m_levels[t.c - 1][t.p - 1][t.k - 1] = 0x42;
    }
    const QByteArray bytes = Save();
    ASSERT_EQ(bytes.size(), 360);
    for (const Case& t : cases) {
        SCOPED_TRACE(testing::Message() << "camera " << t.c << " position " << t.p << " channel " << t.k);
        EXPECT_EQ(static_cast<std::uint8_t>(bytes[t.maskByte]), 0xEF);
        EXPECT_EQ(static_cast<std::uint8_t>(bytes[t.maskByte + 1]), 0xBE);
        EXPECT_EQ(static_cast<std::uint8_t>(bytes[t.levelByte]), 0x42);
    }
}

TEST_F(RecipeFile, SaveThenOpenGivesBackEveryValueAndKeepsTheCurrentCameraAndPosition) {
    FillDistinct(m_doc);
    m_doc.m_curCamera = 2;
    m_doc.m_curPosition = 2;
    Save();
    EXPECT_FALSE(m_doc.IsModified());
    EXPECT_EQ(m_doc.GetTitle(), QStringLiteral("r.aid"));

    CKAVODoc other;
    other.OnNewDocument();
    other.m_curCamera = 3;
    other.m_curPosition = 4;
    other.m_patternChanged = 1;
    QString error;
    ASSERT_TRUE(other.LoadFile(Path("r.aid"), &error)) << error.toStdString();
    EXPECT_EQ(other.m_stepMasks, m_doc.m_stepMasks);
    EXPECT_EQ(other.m_levels, m_doc.m_levels);
    EXPECT_EQ(other.m_curCamera, 3);
    EXPECT_EQ(other.m_curPosition, 4);
    EXPECT_EQ(other.m_patternChanged, 1);
    EXPECT_FALSE(other.IsModified());
    EXPECT_EQ(other.GetTitle(), QStringLiteral("r.aid"));
    EXPECT_EQ(other.GetPathName(), QFileInfo(Path("r.aid")).absoluteFilePath());
}

TEST_F(RecipeFile, StoredBytesReadBackUnchecked) {
    QByteArray bytes = NewRecipeBytes();
    bytes[0] = '\x01';
    bytes[1] = '\x80'; // steps 1 and 16 of camera 1, position 1, channel 1
    bytes[240] = '\0'; // a level the sliders can't make
    bytes[359] = '\x07';
    ASSERT_TRUE(WriteAll(Path("in.aid"), bytes));
    ASSERT_TRUE(m_doc.LoadFile(Path("in.aid"), nullptr));
    EXPECT_EQ(m_doc.m_stepMasks[0][0][0], 0x8001);
    EXPECT_EQ(m_doc.m_levels[0][0][0], 0);
    EXPECT_EQ(m_doc.m_levels[2][4][7], 7);
}

// Too short but not empty: the message, then a new, untitled, unmodified recipe.
TEST_F(RecipeFile, ShortFilesAreRefusedAndLeaveANewRecipe) {
    Save("own.aid"); // a recipe with a name of its own to lose
    for (int size : {359, 240, 239, 1}) {
        SCOPED_TRACE(size);
        ASSERT_TRUE(WriteAll(Path("short.aid"), QByteArray(size, '\x55')));
        FillDistinct(m_doc);
        m_doc.m_curCamera = 3;
        m_doc.m_curPosition = 5;
        m_doc.m_patternChanged = 1;
        m_doc.SetModifiedFlag(true);
        QString error;
        EXPECT_FALSE(m_doc.LoadFile(Path("short.aid"), &error));
        EXPECT_EQ(error, QStringLiteral("Unexpected file format."));
        ExpectNewRecipe(m_doc);
        EXPECT_EQ(m_doc.GetTitle(), QStringLiteral("Untitled"));
        EXPECT_TRUE(m_doc.GetPathName().isEmpty());
    }
}

TEST_F(RecipeFile, EmptyFileReadsNothingButTakesItsName) {
    FillDistinct(m_doc);
    const auto masks = m_doc.m_stepMasks;
    const auto levels = m_doc.m_levels;
    m_doc.SetModifiedFlag(true);
    ASSERT_TRUE(WriteAll(Path("empty.aid"), QByteArray()));
    QString error;
    ASSERT_TRUE(m_doc.LoadFile(Path("empty.aid"), &error)) << error.toStdString();
    EXPECT_EQ(m_doc.m_stepMasks, masks);
    EXPECT_EQ(m_doc.m_levels, levels);
    EXPECT_EQ(m_doc.GetTitle(), QStringLiteral("empty.aid"));
    EXPECT_FALSE(m_doc.IsModified());
    // A later save fills it with the 360 bytes.
    EXPECT_EQ(Save("empty.aid").size(), 360);
}

TEST_F(RecipeFile, LongerFileReadsItsFirst360BytesAndSavesBackAt360) {
    QByteArray bytes = NewRecipeBytes();
    bytes[359] = '\x11';
    bytes.append('\x22');
    ASSERT_TRUE(WriteAll(Path("long.aid"), bytes));
    QString error;
    ASSERT_TRUE(m_doc.LoadFile(Path("long.aid"), &error)) << error.toStdString();
    EXPECT_EQ(m_doc.m_levels[2][4][7], 0x11);
    EXPECT_EQ(Save("long.aid"), bytes.left(360));
}

// A file that can't be opened leaves everything of the document as it was.
TEST_F(RecipeFile, FilesThatCannotBeOpenedChangeNothing) {
    ASSERT_TRUE(WriteAll(Path("plain"), "not a folder"));
    ASSERT_TRUE(WriteAll(Path("locked.aid"), NewRecipeBytes()));
    QDir(m_dir.path()).mkdir(QStringLiteral("folder.aid"));
    struct Case {
        QString path;
        QString message;
    };
    const Case cases[] = {
        {Path("missing.aid"), Path("missing.aid") + " was not found."},
        {Path("plain/r.aid"), Path("plain/r.aid") + " contains an invalid path."},
        {Path("folder.aid"), "Access to " + Path("folder.aid") + " was denied."},
        {Path("locked.aid"), "A sharing violation occurred while accessing " + Path("locked.aid") + "."},
    };
    // Another program writing the file holds it exclusively.
    const int holder = ::open(QFile::encodeName(Path("locked.aid")).constData(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(::flock(holder, LOCK_EX), 0);

    Save("own.aid");
    FillDistinct(m_doc);
    m_doc.SetModifiedFlag(true);
    const auto masks = m_doc.m_stepMasks;
    for (const Case& t : cases) {
        SCOPED_TRACE(t.path.toStdString());
        QString error;
        EXPECT_FALSE(m_doc.LoadFile(t.path, &error));
        EXPECT_EQ(error, t.message);
        EXPECT_EQ(m_doc.m_stepMasks, masks);
        EXPECT_TRUE(m_doc.IsModified());
        EXPECT_EQ(m_doc.GetTitle(), QStringLiteral("own.aid"));
    }
    ::close(holder);
}

TEST_F(RecipeFile, UnreadableFileIsAccessDenied) {
    if (!testfs::PermissionsEnforced::Works(m_dir.path())) {
        GTEST_SKIP() << "file permissions can't be made to apply to this process";
    }
    ASSERT_TRUE(WriteAll(Path("secret.aid"), NewRecipeBytes()));
    QFile::setPermissions(Path("secret.aid"), QFileDevice::WriteOwner);
    m_doc.OnAllLedOn();
    QString error;
    {
        testfs::PermissionsEnforced enforced;
        EXPECT_FALSE(m_doc.LoadFile(Path("secret.aid"), &error));
    }
    EXPECT_EQ(error, "Access to " + Path("secret.aid") + " was denied.");
    EXPECT_EQ(m_doc.m_stepMasks[0][0][0], 0xFFFF);
    EXPECT_TRUE(m_doc.IsModified());
}

TEST_F(RecipeFile, AllLedCommandsEditOnlyTheCurrentPatternAndMarkModifiedAtOnce) {
    CountingView view;
    m_doc.AddView(&view);
    FillDistinct(m_doc);
    m_doc.SetModifiedFlag(false);
    auto masks = m_doc.m_stepMasks;
    const auto levels = m_doc.m_levels;
    m_doc.m_curCamera = 2;
    m_doc.m_curPosition = 5;

    m_doc.OnAllLedOn();
    masks[1][4].fill(0xFFFF);
    EXPECT_EQ(m_doc.m_stepMasks, masks);
    EXPECT_EQ(m_doc.m_levels, levels);
    EXPECT_EQ(m_doc.m_patternChanged, 1);
    EXPECT_TRUE(m_doc.IsModified());
    EXPECT_EQ(view.updates, 1);

    m_doc.OnAllLedOff();
    masks[1][4].fill(0);
    EXPECT_EQ(m_doc.m_stepMasks, masks);

    // Already dark: no value changes, yet it is an edit.
    m_doc.OnNewDocument();
    m_doc.OnAllLedOff();
    EXPECT_EQ(m_doc.m_patternChanged, 1);
    EXPECT_TRUE(m_doc.IsModified());
    EXPECT_EQ(view.updates, 3);
    m_doc.RemoveView(&view);
}

// A save that fails leaves the recipe modified under its old name. What it leaves of the files is
// the save helper's guarantee, tested with it (FileAccessTest).
TEST_F(RecipeFile, FailedSaveKeepsTheRecipeModified) {
    // "plain" is a file, not a folder: the save can't start, and the file stays as it was.
    ASSERT_TRUE(WriteAll(Path("plain"), "not a folder"));
    m_doc.OnAllLedOn();
    QString error;
    EXPECT_FALSE(m_doc.SaveFile(Path("plain/r.aid"), &error));
    EXPECT_EQ(error, Path("plain/r.aid") + " contains an invalid path.");
    EXPECT_EQ(ReadAll(Path("plain")), QByteArray("not a folder"));
    EXPECT_TRUE(m_doc.IsModified());
    EXPECT_EQ(m_doc.GetTitle(), QStringLiteral("Untitled"));
}

TEST_F(RecipeFile, SaveKeepsPermissionsAndWritesThroughALink) {
    ASSERT_TRUE(WriteAll(Path("r.aid"), NewRecipeBytes()));
    QFile::setPermissions(Path("r.aid"),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup);
    ASSERT_TRUE(QFile::link(Path("r.aid"), Path("link.aid")));
    ASSERT_TRUE(m_doc.LoadFile(Path("link.aid"), nullptr));
    m_doc.OnAllLedOn();
    Save("link.aid");
    EXPECT_TRUE(QFileInfo(Path("link.aid")).isSymLink());
    EXPECT_EQ(ReadAll(Path("r.aid")).left(16), QByteArray(16, '\xFF'));
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(Path("r.aid")).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640U);
    EXPECT_EQ(testfs::Entries(m_dir.path()), QStringList({"link.aid", "r.aid"}));
}

// The names in a folder as the system keeps them (bytes).
std::vector<QByteArray> NativeEntries(const QString& dir) {
    std::vector<QByteArray> names;
    DIR* d = ::opendir(QFile::encodeName(dir).constData());
    while (const dirent* e = d != nullptr ? ::readdir(d) : nullptr) {
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) {
            names.emplace_back(e->d_name);
        }
    }
    if (d != nullptr) {
        ::closedir(d);
    }
    return names;
}

// A name that is not UTF-8 (Latin-1 here, as an old USB stick brings it) saves and opens under exactly
// its own bytes; messages and the title show its odd bytes and control characters escaped.
TEST_F(RecipeFile, NamesThatAreNotUtf8OrHoldControlCharactersSaveOpenAndShow) {
    const QByteArray folder = QFile::encodeName(m_dir.path());
    const QString name = DecodeFileName(folder + "/caf\xE9\n\x1B[2J.aid");
    FillDistinct(m_doc);
    const auto masks = m_doc.m_stepMasks;
    QString error;
    ASSERT_TRUE(m_doc.SaveFile(name, &error)) << error.toStdString();
    EXPECT_EQ(NativeEntries(m_dir.path()), std::vector<QByteArray>{"caf\xE9\n\x1B[2J.aid"});
    EXPECT_EQ(m_doc.GetTitle(), QStringLiteral("caf\\xe9\\n\\x1b[2J.aid"));

    m_doc.OnNewDocument();
    ASSERT_TRUE(m_doc.LoadFile(name, &error)) << error.toStdString();
    EXPECT_EQ(m_doc.m_stepMasks, masks);
    EXPECT_EQ(m_doc.GetPathName(), name);
    EXPECT_EQ(m_doc.GetTitle(), QStringLiteral("caf\\xe9\\n\\x1b[2J.aid"));

    EXPECT_FALSE(m_doc.LoadFile(DecodeFileName(folder + "/gone\xFF\t.aid"), &error));
    EXPECT_EQ(error, m_dir.path() + "/gone\\xff\\x09.aid was not found.");
}

} // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

// Every edit goes through the setters: each announces the camera and position it changed, once,
// and a value equal to the one held (or an address outside the recipe) changes nothing.
TEST(RecipeSetters, AnnounceWhatChangedOnce) {
    CKAVODoc doc;
    doc.OnNewDocument();
    std::vector<std::pair<int, int>> seen;
    QObject::connect(&doc, &CKAVODoc::recipeValuesChanged,
                     [&](int camera, int position) { seen.emplace_back(camera, position); });

    EXPECT_TRUE(doc.SetLevel(2, 3, 4, 17));
    EXPECT_EQ(doc.m_levels[1][2][3], 17);
    EXPECT_TRUE(doc.IsModified());
    EXPECT_EQ(doc.m_patternChanged, 0); // a level is not a pattern edit
    EXPECT_TRUE(doc.SetMask(3, 5, 8, 0x8001));
    EXPECT_EQ(doc.m_stepMasks[2][4][7], 0x8001);
    EXPECT_EQ(doc.m_patternChanged, 1);
    Recipe::ChannelLevels levels;
    levels.fill(9);
    Recipe::ChannelMasks masks;
    masks.fill(0x00F0);
    EXPECT_TRUE(doc.SetPositionValues(1, 1, levels, masks));
    EXPECT_EQ(doc.m_levels[0][0], levels);
    EXPECT_EQ(doc.m_stepMasks[0][0], masks);
    EXPECT_EQ(seen, (std::vector<std::pair<int, int>>{{2, 3}, {3, 5}, {1, 1}}));

    seen.clear();
    doc.SetModifiedFlag(false);
    EXPECT_FALSE(doc.SetLevel(2, 3, 4, 17));                  // same value
    EXPECT_FALSE(doc.SetPositionValues(1, 1, levels, masks)); // same values
    for (auto [c, p, k] : {std::array{0, 1, 1}, {4, 1, 1}, {1, 0, 1}, {1, 6, 1}, {1, 1, 0}, {1, 1, 9}}) {
        EXPECT_FALSE(doc.SetLevel(c, p, k, 1)) << c << p << k;
        EXPECT_FALSE(doc.SetMask(c, p, k, 1)) << c << p << k;
    }
    EXPECT_TRUE(seen.empty());
    EXPECT_FALSE(doc.IsModified());
}
