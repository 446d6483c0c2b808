// The recipe document and its .aid files, on real files in temporary folders.
#include "RecipeFile.h"
#include "AidFormat.h"
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

#include <type_traits>
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

QByteArray Bytes(const AidImage& image) {
    return QByteArray(reinterpret_cast<const char*>(image.data()), static_cast<qsizetype>(image.size()));
}

// Every mask and level with a value of its own, so that a misplaced byte shows.
Recipe Distinct() {
    Recipe r;
    int n = 0;
    for (int c = 0; c < 3; ++c) {
        for (int p = 0; p < 5; ++p) {
            for (int k = 0; k < 8; ++k, ++n) {
                r.m_stepMasks[c][p][k] = static_cast<std::uint16_t>(0x0101 * n + 0x8000);
                r.m_levels[c][p][k] = static_cast<std::uint8_t>(n * 2 + 1);
            }
        }
    }
    return r;
}

// Puts recipe into the document through its setters (a pattern edit: the recipe is modified).
void Fill(CKAVODoc& doc, const Recipe& recipe) {
    for (int c = 1; c <= 3; ++c) {
        for (int p = 1; p <= 5; ++p) {
            doc.SetPositionValues(c, p, recipe.m_levels[c - 1][p - 1], recipe.m_stepMasks[c - 1][p - 1]);
        }
    }
}

void FillDistinct(CKAVODoc& doc) {
    Fill(doc, Distinct());
}

void ExpectNewRecipe(const CKAVODoc& doc) {
    EXPECT_EQ(doc.GetCurCamera(), 1);
    EXPECT_EQ(doc.GetCurPosition(), 1);
    EXPECT_EQ(doc.GetStepCount(), 16);
    EXPECT_FALSE(doc.IsPatternChanged());
    EXPECT_FALSE(doc.IsModified());
    EXPECT_EQ(doc.GetRecipe(), Recipe());
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

// Where each value lands is the format's (AidFormatTest); here the document's edits reach the file.
TEST_F(RecipeFile, WorkedExamplesLandOnTheirBytes) {
    m_doc.OnAllLedOn(); // camera 1, position 1
    m_doc.SetMask(1, 2, 1, 0x8001);
    m_doc.SetLevel(2, 3, 4, 128);
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
        m_doc.SetMask(t.c, t.p, t.k, 0xBEEF);
        m_doc.SetLevel(t.c, t.p, t.k, 0x42);
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
    m_doc.SetCurrent(2, 2);
    Save();
    EXPECT_FALSE(m_doc.IsModified());
    EXPECT_EQ(m_doc.GetTitle(), QStringLiteral("r.aid"));

    CKAVODoc other;
    other.OnNewDocument();
    other.SetCurrent(3, 4);
    other.OnAllLedOn(); // a pattern edit
    QString error;
    ASSERT_TRUE(other.LoadFile(Path("r.aid"), &error)) << error.toStdString();
    EXPECT_EQ(other.GetRecipe(), Distinct());
    EXPECT_EQ(other.GetCurCamera(), 3);
    EXPECT_EQ(other.GetCurPosition(), 4);
    EXPECT_TRUE(other.IsPatternChanged());
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
    EXPECT_EQ(m_doc.GetMask(1, 1, 1), 0x8001);
    EXPECT_EQ(m_doc.GetLevel(1, 1, 1), 0);
    EXPECT_EQ(m_doc.GetLevel(3, 5, 8), 7);
}

// Too short but not empty: the message names the file and its size, then a new, untitled, unmodified
// recipe. Read without a document (kavo-cli), the same message and the recipe as it was.
TEST_F(RecipeFile, ShortFilesAreRefusedWithTheirSizeAndLeaveANewRecipe) {
    Save("own.aid"); // a recipe with a name of its own to lose
    const struct {
        int size;
        QString message;
    } cases[] = {
        {359, Path("short.aid") + " is 359 bytes; a recipe file is 360 bytes."},
        {240, Path("short.aid") + " is 240 bytes; a recipe file is 360 bytes."},
        {239, Path("short.aid") + " is 239 bytes; a recipe file is 360 bytes."},
        {1, Path("short.aid") + " is 1 byte; a recipe file is 360 bytes."},
    };
    for (const auto& t : cases) {
        SCOPED_TRACE(t.size);
        ASSERT_TRUE(WriteAll(Path("short.aid"), QByteArray(t.size, '\x55')));
        FillDistinct(m_doc); // modified, a pattern edit
        m_doc.SetCurrent(3, 5);
        QString error;
        EXPECT_FALSE(m_doc.LoadFile(Path("short.aid"), &error));
        EXPECT_EQ(error, t.message);
        ExpectNewRecipe(m_doc);
        EXPECT_EQ(m_doc.GetTitle(), QStringLiteral("Untitled"));
        EXPECT_TRUE(m_doc.GetPathName().isEmpty());

        Recipe kept = Distinct();
        error.clear();
        EXPECT_FALSE(ReadRecipeFile(Path("short.aid"), &kept, &error));
        EXPECT_EQ(error, t.message);
        EXPECT_EQ(kept, Distinct());
    }
}

TEST_F(RecipeFile, EmptyFileReadsNothingButTakesItsName) {
    FillDistinct(m_doc);
    ASSERT_TRUE(WriteAll(Path("empty.aid"), QByteArray()));
    QString error;
    ASSERT_TRUE(m_doc.LoadFile(Path("empty.aid"), &error)) << error.toStdString();
    EXPECT_EQ(m_doc.GetRecipe(), Distinct());
    EXPECT_EQ(m_doc.GetTitle(), QStringLiteral("empty.aid"));
    EXPECT_FALSE(m_doc.IsModified());
    Recipe kept = Distinct();
    EXPECT_TRUE(ReadRecipeFile(Path("empty.aid"), &kept, &error));
    EXPECT_EQ(kept, Distinct());
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
    EXPECT_EQ(m_doc.GetLevel(3, 5, 8), 0x11);
    Recipe read;
    ASSERT_TRUE(ReadRecipeFile(Path("long.aid"), &read, &error)) << error.toStdString();
    EXPECT_EQ(read, m_doc.GetRecipe());
    EXPECT_EQ(Save("long.aid"), bytes.left(360));
}

// The file the virtual controller dumps is the one the document saves, written as safely.
TEST_F(RecipeFile, WriteRecipeFileWritesTheDocumentsBytes) {
    FillDistinct(m_doc);
    QString error;
    ASSERT_TRUE(WriteRecipeFile(Path("dump.aid"), Distinct(), &error)) << error.toStdString();
    EXPECT_EQ(ReadAll(Path("dump.aid")), Save());
    EXPECT_EQ(ReadAll(Path("dump.aid")), Bytes(EncodeAid(Distinct())));
    ASSERT_TRUE(WriteAll(Path("plain"), "not a folder"));
    EXPECT_FALSE(WriteRecipeFile(Path("plain/r.aid"), Recipe(), &error));
    EXPECT_EQ(error, Path("plain/r.aid") + " contains an invalid path.");
    EXPECT_EQ(ReadAll(Path("plain")), QByteArray("not a folder"));
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
    for (const Case& t : cases) {
        SCOPED_TRACE(t.path.toStdString());
        QString error;
        EXPECT_FALSE(m_doc.LoadFile(t.path, &error));
        EXPECT_EQ(error, t.message);
        EXPECT_EQ(m_doc.GetRecipe(), Distinct());
        EXPECT_TRUE(m_doc.IsModified());
        EXPECT_EQ(m_doc.GetTitle(), QStringLiteral("own.aid"));
        Recipe kept;
        error.clear();
        EXPECT_FALSE(ReadRecipeFile(t.path, &kept, &error));
        EXPECT_EQ(error, t.message);
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
    EXPECT_EQ(m_doc.GetMask(1, 1, 1), 0xFFFF);
    EXPECT_TRUE(m_doc.IsModified());
}

TEST_F(RecipeFile, AllLedCommandsEditOnlyTheCurrentPatternAndMarkModifiedAtOnce) {
    CountingView view;
    m_doc.AddView(&view);
    FillDistinct(m_doc);
    Save();
    Recipe want = Distinct();
    m_doc.SetCurrent(2, 5);

    m_doc.OnAllLedOn();
    want.m_stepMasks[1][4].fill(0xFFFF);
    EXPECT_EQ(m_doc.GetRecipe(), want);
    EXPECT_TRUE(m_doc.IsPatternChanged());
    EXPECT_TRUE(m_doc.IsModified());
    EXPECT_EQ(view.updates, 1);

    m_doc.OnAllLedOff();
    want.m_stepMasks[1][4].fill(0);
    EXPECT_EQ(m_doc.GetRecipe(), want);

    // Already dark: no value changes, yet it is an edit.
    m_doc.OnNewDocument();
    m_doc.OnAllLedOff();
    EXPECT_TRUE(m_doc.IsPatternChanged());
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
    QString error;
    ASSERT_TRUE(m_doc.SaveFile(name, &error)) << error.toStdString();
    EXPECT_EQ(NativeEntries(m_dir.path()), std::vector<QByteArray>{"caf\xE9\n\x1B[2J.aid"});
    EXPECT_EQ(m_doc.GetTitle(), QStringLiteral("caf\\xe9\\n\\x1b[2J.aid"));

    m_doc.OnNewDocument();
    ASSERT_TRUE(m_doc.LoadFile(name, &error)) << error.toStdString();
    EXPECT_EQ(m_doc.GetRecipe(), Distinct());
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
    EXPECT_EQ(doc.GetLevel(2, 3, 4), 17);
    EXPECT_TRUE(doc.IsModified());
    EXPECT_FALSE(doc.IsPatternChanged()); // a level is not a pattern edit
    EXPECT_TRUE(doc.SetMask(3, 5, 8, 0x8001));
    EXPECT_EQ(doc.GetMask(3, 5, 8), 0x8001);
    EXPECT_TRUE(doc.IsPatternChanged());
    Recipe::ChannelLevels levels;
    levels.fill(9);
    Recipe::ChannelMasks masks;
    masks.fill(0x00F0);
    EXPECT_TRUE(doc.SetPositionValues(1, 1, levels, masks));
    EXPECT_EQ(doc.LevelsAt(1, 1), levels);
    EXPECT_EQ(doc.MasksAt(1, 1), masks);
    EXPECT_EQ(seen, (std::vector<std::pair<int, int>>{{2, 3}, {3, 5}, {1, 1}}));

    seen.clear();
    doc.OnHistoryCleanChanged(true);
    EXPECT_FALSE(doc.SetLevel(2, 3, 4, 17));                  // same value
    EXPECT_FALSE(doc.SetPositionValues(1, 1, levels, masks)); // same values
    for (auto [c, p, k] : {std::array{0, 1, 1}, {4, 1, 1}, {1, 0, 1}, {1, 6, 1}, {1, 1, 0}, {1, 1, 9}}) {
        EXPECT_FALSE(doc.SetLevel(c, p, k, 1)) << c << p << k;
        EXPECT_FALSE(doc.SetMask(c, p, k, 1)) << c << p << k;
    }
    EXPECT_TRUE(seen.empty());
    EXPECT_FALSE(doc.IsModified());
}

// The recipe is read through const access only; the setters are the one way to change it.
static_assert(!std::is_convertible_v<CKAVODoc&, Recipe&>);
static_assert(std::is_same_v<decltype(std::declval<CKAVODoc&>().GetRecipe()), const Recipe&>);
static_assert(
    std::is_same_v<decltype(std::declval<CKAVODoc&>().CurrentLevels()), const Recipe::ChannelLevels&>);
static_assert(
    std::is_same_v<decltype(std::declval<CKAVODoc&>().CurrentMasks()), const Recipe::ChannelMasks&>);

// The current camera and position change through one setter, which announces each change once; New
// brings back camera 1, position 1 (announced), Open keeps them. No recipe value changes, nothing is
// modified.
TEST(RecipeSetters, CurrentCameraAndPositionAreAnnouncedOnceEach) {
    CKAVODoc doc;
    doc.OnNewDocument();
    std::vector<std::pair<int, int>> seen;
    QObject::connect(&doc, &CKAVODoc::currentChanged,
                     [&](int camera, int position) { seen.emplace_back(camera, position); });
    int valuesChanged = 0;
    QObject::connect(&doc, &CKAVODoc::recipeValuesChanged, [&] { ++valuesChanged; });
    doc.SetLevel(2, 3, 1, 7);
    doc.OnHistoryCleanChanged(true);
    valuesChanged = 0;

    EXPECT_TRUE(doc.SetCurrent(2, 3));
    EXPECT_EQ(doc.GetCurCamera(), 2);
    EXPECT_EQ(doc.GetCurPosition(), 3);
    EXPECT_EQ(doc.CurrentLevels()[0], 7);
    EXPECT_FALSE(doc.SetCurrent(2, 3)); // already current
    for (auto [c, p] : {std::pair{0, 1}, {4, 1}, {1, 0}, {1, 6}}) {
        EXPECT_FALSE(doc.SetCurrent(c, p)) << c << p;
    }
    EXPECT_EQ(doc.GetCurCamera(), 2);
    EXPECT_EQ(doc.GetCurPosition(), 3);
    EXPECT_TRUE(doc.SetCurrent(2, 5)); // the position alone
    EXPECT_TRUE(doc.SetCurrent(1, 5)); // the camera alone
    EXPECT_EQ(seen, (std::vector<std::pair<int, int>>{{2, 3}, {2, 5}, {1, 5}}));
    EXPECT_FALSE(doc.IsModified());
    EXPECT_EQ(valuesChanged, 0);

    QTemporaryDir dir;
    ASSERT_TRUE(WriteAll(dir.filePath("r.aid"), NewRecipeBytes()));
    ASSERT_TRUE(doc.LoadFile(dir.filePath("r.aid"), nullptr));
    EXPECT_EQ(seen.size(), 3U);
    EXPECT_EQ(doc.GetCurCamera(), 1);
    EXPECT_EQ(doc.GetCurPosition(), 5);

    doc.OnNewDocument();
    doc.OnNewDocument();
    EXPECT_EQ(seen, (std::vector<std::pair<int, int>>{{2, 3}, {2, 5}, {1, 5}, {1, 1}}));
}

// The document decides its modified flag: an edit that changed no value still counts, the edit history
// back at its clean point clears it, leaving that point sets it.
TEST(RecipeSetters, TheDocumentDecidesItsModifiedFlag) {
    CKAVODoc doc;
    doc.OnNewDocument();
    std::vector<bool> told;
    QObject::connect(&doc, &CDocument::modifiedChanged, [&](bool modified) { told.push_back(modified); });
    doc.MarkEdited();
    EXPECT_TRUE(doc.IsModified());
    EXPECT_FALSE(doc.IsPatternChanged());
    EXPECT_EQ(doc.GetRecipe(), Recipe());
    doc.OnHistoryCleanChanged(true);
    EXPECT_FALSE(doc.IsModified());
    doc.OnHistoryCleanChanged(false);
    EXPECT_TRUE(doc.IsModified());
    EXPECT_EQ(told, (std::vector<bool>{true, false, true}));
}

// Levels of 0 read from a file are named once, grouped by camera and position, the list capped; a file
// within 1..255 says nothing.
TEST(RecipeFileNotes, LevelsOutsideTheRangeAreNamedGroupedAndCapped) {
    Recipe some;
    some.m_levels[0][2][1] = 0; // C1 P3 channel 2
    Recipe several = some;
    several.m_levels[2][4][0] = 0; // C3 P5 channels 1, 4
    several.m_levels[2][4][3] = 0;
    several.m_levels[1][0].fill(0); // C2 P1 all channels
    Recipe zeros;
    for (auto& camera : zeros.m_levels) {
        for (auto& position : camera) {
            position.fill(0);
        }
    }
    const struct {
        const char* name;
        Recipe recipe;
        QString text;
    } cases[] = {
        {"none", Recipe(), QString()},
        {"one", some,
         "r.aid holds a level outside 1 to 255. They are kept as they are and downloaded so; a slider or a "
         "typed level sets 1 to 255.\nC1 P3 channel 2: 0"},
        {"several", several,
         "r.aid holds 11 levels outside 1 to 255. They are kept as they are and downloaded so; a slider or a "
         "typed level sets 1 to 255.\nC1 P3 channel 2: 0\nC2 P1 channels 1-8: 0\nC3 P5 channels 1, 4: 0"},
        {"all zeros", zeros,
         "r.aid holds 120 levels outside 1 to 255. They are kept as they are and downloaded so; a slider or "
         "a "
         "typed level sets 1 to 255.\nC1 P1 channels 1-8: 0\nC1 P2 channels 1-8: 0\nC1 P3 channels 1-8: 0\n"
         "C1 P4 channels 1-8: 0\nC1 P5 channels 1-8: 0\nC2 P1 channels 1-8: 0\n... and 9 more positions"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(LevelsOutOfRangeText(QStringLiteral("/some/folder/r.aid"), c.recipe), c.text);
    }
}
