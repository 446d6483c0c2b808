// Replacing whole files, on real files in temporary folders: what a save leaves behind when it
// succeeds and when it fails.
#include "FileAccess.h"
#include "FileTestSupport.h"

#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

using testfs::ReadAll;
using testfs::WriteAll;

namespace {

const QByteArray kNewBytes(360, '\x42');

class AtomicSaveTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }
    QString Path(const QString& name) const { return m_dir.filePath(name); }

    QTemporaryDir m_dir;
};

TEST_F(AtomicSaveTest, NewFileGetsTheUsualPermissionsAndNothingElseIsLeft) {
    const mode_t mask = ::umask(027);
    FileError error;
    const bool saved = AtomicSave(Path("new.aid"), kNewBytes, &error);
    ::umask(mask);
    ASSERT_TRUE(saved) << error.message.toStdString();
    EXPECT_TRUE(error.ok());
    EXPECT_EQ(ReadAll(Path("new.aid")), kNewBytes);
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(Path("new.aid")).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640U);
    EXPECT_EQ(testfs::Entries(m_dir.path()), QStringList({"new.aid"}));
}

// A save that fails leaves the file that was there byte for byte and no temporary file behind.
class FailedSave : public AtomicSaveTest {
  protected:
    void SetUp() override {
        AtomicSaveTest::SetUp();
        m_oldBytes = QByteArray(240, '\0') + QByteArray(120, '\xFF');
        m_oldBytes[5] = '\x5A';
    }
    void PrepareOldFile(const QString& path) { ASSERT_TRUE(WriteAll(path, m_oldBytes)); }
    void ExpectFailedSave(const QString& path, const QString& message) {
        const QString folder = QFileInfo(path).absolutePath();
        const QStringList before = testfs::Entries(folder);
        FileError error;
        EXPECT_FALSE(AtomicSave(path, kNewBytes, &error));
        EXPECT_EQ(error.message, message);
        EXPECT_EQ(ReadAll(path), m_oldBytes);
        EXPECT_EQ(testfs::Entries(folder), before);
        // Without a FileError to fill, the same refusal.
        EXPECT_FALSE(AtomicSave(path, kNewBytes));
        EXPECT_EQ(ReadAll(path), m_oldBytes);
    }
    QByteArray m_oldBytes;
};

TEST_F(FailedSave, ImmutableFolder) {
    const QString folder = Path("ro");
    QDir(m_dir.path()).mkdir(QStringLiteral("ro"));
    PrepareOldFile(folder + "/r.aid");
    if (!testfs::SetImmutable(folder, true)) {
        GTEST_SKIP() << "this file system can't make a folder immutable";
    }
    ExpectFailedSave(folder + "/r.aid", "Access to " + folder + "/r.aid was denied.");
    testfs::SetImmutable(folder, false);
}

TEST_F(FailedSave, ImmutableFile) {
    PrepareOldFile(Path("r.aid"));
    if (!testfs::SetImmutable(Path("r.aid"), true)) {
        GTEST_SKIP() << "this file system can't make a file immutable";
    }
    ExpectFailedSave(Path("r.aid"), "Access to " + Path("r.aid") + " was denied.");
    testfs::SetImmutable(Path("r.aid"), false);
}

TEST_F(FailedSave, ReadOnlyFileSystem) {
    const QString folder = Path("mnt");
    QDir(m_dir.path()).mkdir(QStringLiteral("mnt"));
    testfs::TmpfsMount mount(folder, "size=64k");
    if (!mount.ok()) {
        GTEST_SKIP() << "mounting a tmpfs is not permitted here: " << mount.error();
    }
    PrepareOldFile(folder + "/r.aid");
    ASSERT_TRUE(mount.RemountReadOnly());
    ExpectFailedSave(folder + "/r.aid", "Access to " + folder + "/r.aid was denied.");
}

TEST_F(FailedSave, FullFileSystem) {
    const QString folder = Path("mnt");
    QDir(m_dir.path()).mkdir(QStringLiteral("mnt"));
    testfs::TmpfsMount mount(folder, "size=16k");
    if (!mount.ok()) {
        GTEST_SKIP() << "mounting a tmpfs is not permitted here: " << mount.error();
    }
    PrepareOldFile(folder + "/r.aid");
    // Take every block that is left.
    {
        QFile filler(folder + "/filler");
        ASSERT_TRUE(filler.open(QIODevice::WriteOnly));
        const QByteArray block(512, 'x');
        while (filler.write(block) == block.size() && filler.flush()) {
        }
    }
    ExpectFailedSave(folder + "/r.aid", "Disk full while accessing " + folder + "/r.aid.");
}

TEST_F(FailedSave, PermissionsOfFolderAndFile) {
    if (!testfs::PermissionsEnforced::Works(m_dir.path())) {
        GTEST_SKIP() << "file permissions can't be made to apply to this process";
    }
    const auto rx = QFileDevice::ReadOwner | QFileDevice::ExeOwner;
    const QString folder = Path("locked");
    QDir(m_dir.path()).mkdir(QStringLiteral("locked"));
    PrepareOldFile(folder + "/r.aid");
    {
        // A folder without write permission: the file can't be replaced.
        QFile::setPermissions(folder, rx);
        testfs::PermissionsEnforced enforced;
        ExpectFailedSave(folder + "/r.aid", "Access to " + folder + "/r.aid was denied.");
    }
    QFile::setPermissions(folder, rx | QFileDevice::WriteOwner);
    {
        // A read-only file in a writable folder stays read-only and unchanged.
        QFile::setPermissions(folder + "/r.aid", QFileDevice::ReadOwner);
        testfs::PermissionsEnforced enforced;
        ExpectFailedSave(folder + "/r.aid", "Access to " + folder + "/r.aid was denied.");
    }
}

TEST_F(FailedSave, AFolderIsNoFileToReplace) {
    QDir(m_dir.path()).mkpath(QStringLiteral("folder.aid/inside"));
    FileError error;
    EXPECT_FALSE(AtomicSave(Path("folder.aid"), kNewBytes, &error));
    EXPECT_EQ(error.message, "Access to " + Path("folder.aid") + " was denied.");
    EXPECT_TRUE(QFileInfo(Path("folder.aid/inside")).isDir());
    EXPECT_TRUE(testfs::Entries(m_dir.path()).isEmpty());
}

} // namespace
