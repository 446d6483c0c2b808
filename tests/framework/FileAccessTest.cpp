// Reading and replacing whole files, on real files in temporary folders: what a save leaves behind
// when it succeeds and when it fails, and the kinds of file that are neither read nor replaced.
#include "FileAccess.h"
#include "FileName.h"
#include "FileTestSupport.h"
#include "PtyPair.h"

#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>

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

// A FIFO, a socket, a device node or a terminal, each made for real; every descriptor that keeps one
// alive is closed at the end.
class SpecialFiles : public AtomicSaveTest {
  protected:
    void TearDown() override {
        for (const int fd : m_fds) {
            ::close(fd);
        }
    }
    QString Fifo(const QString& name) {
        EXPECT_EQ(::mkfifo(QFile::encodeName(Path(name)).constData(), 0644), 0);
        return Path(name);
    }
    // A FIFO that a writer holds open without writing: a read from it waits for that writer.
    QString FifoWithWriter(const QString& name) {
        Fifo(name);
        Keep(::open(QFile::encodeName(Path(name)).constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC));
        return Path(name);
    }
    QString Socket(const QString& name) {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        Keep(fd);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        const QByteArray native = QFile::encodeName(Path(name));
        EXPECT_LT(static_cast<size_t>(native.size()), sizeof addr.sun_path);
        std::memcpy(addr.sun_path, native.constData(), static_cast<size_t>(native.size()));
        EXPECT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr), 0);
        EXPECT_EQ(::listen(fd, 1), 0);
        return Path(name);
    }
    // A node of the null device (1, 3) of our own; empty where this process may not make one.
    QString NullDevice(const QString& name) {
        if (::mknod(QFile::encodeName(Path(name)).constData(), S_IFCHR | 0666, makedev(1, 3)) != 0) {
            return QString();
        }
        return Path(name);
    }
    // The slave side of a new pseudo-terminal (the master is kept open).
    QString Terminal() {
        m_ptys.push_back(std::make_unique<PtyPair>());
        if (!m_ptys.back()->ok()) {
            ADD_FAILURE() << "no pseudo-terminal";
            return QString();
        }
        return QString::fromLocal8Bit(m_ptys.back()->slaveName.c_str());
    }
    QString Link(const QString& name, const QString& target) {
        EXPECT_TRUE(QFile::link(target, Path(name)));
        return Path(name);
    }
    void Keep(int fd) {
        EXPECT_GE(fd, 0);
        if (fd >= 0) {
            m_fds.push_back(fd);
        }
    }

    std::vector<int> m_fds;
    std::vector<std::unique_ptr<PtyPair>> m_ptys;
};

// What lstat tells of a name and of what it leads to: a refused file is left exactly as it was.
struct Node {
    mode_t mode = 0;
    ino_t ino = 0;
    dev_t rdev = 0;
    bool operator==(const Node&) const = default;
};

Node Look(const QString& path, bool follow) {
    struct stat st {};
    const QByteArray native = QFile::encodeName(path);
    if ((follow ? ::stat(native.constData(), &st) : ::lstat(native.constData(), &st)) != 0) {
        return Node();
    }
    return Node{st.st_mode, st.st_ino, st.st_rdev};
}

// Saving onto anything but a regular file would rename a plain file over it: a FIFO another program
// reads, or, through a link, a device of the system. Each is refused before anything is written.
TEST_F(SpecialFiles, OnlyARegularFileIsReplaced) {
    struct Case {
        const char* what;
        QString path;
    };
    const QString fifo = Fifo("pipe.aid");
    const QString device = NullDevice("null.aid");
    std::vector<Case> cases = {
        {"a FIFO", fifo},
        {"a link to a FIFO", Link("pipe-link.aid", fifo)},
        {"a socket", Socket("socket.aid")},
    };
    if (!device.isEmpty()) {
        cases.push_back({"a device node", device});
        cases.push_back({"a link to a device node", Link("null-link.aid", device)});
    }
    const QStringList entries = testfs::Entries(m_dir.path());
    bool allRefused = true;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Node name = Look(c.path, false);
        const Node target = Look(c.path, true);
        FileError error;
        EXPECT_FALSE(AtomicSave(c.path, kNewBytes, &error));
        EXPECT_EQ(error.message, "Access to " + c.path + " was denied.");
        EXPECT_EQ(Look(c.path, false), name);
        EXPECT_EQ(Look(c.path, true), target);
        allRefused = allRefused && !::testing::Test::HasFailure();
    }
    EXPECT_EQ(testfs::Entries(m_dir.path()), entries);

    // The system's own null device, through a link. Only tried once the stand-ins above showed that a
    // device is refused before anything is written, or where this process can't write /dev anyway:
    // no failure of this test may ever replace /dev/null.
    const bool devWritable = ::access("/dev", W_OK) == 0;
    if (devWritable && (device.isEmpty() || !allRefused)) {
        GTEST_SKIP() << "no stand-in device refused first: /dev/null is not put at risk";
    }
    const Node devNull = Look(QStringLiteral("/dev/null"), false);
    ASSERT_TRUE(S_ISCHR(devNull.mode));
    const QString link = Link("devnull-link.aid", QStringLiteral("/dev/null"));
    FileError error;
    EXPECT_FALSE(AtomicSave(link, kNewBytes, &error));
    EXPECT_EQ(error.message, "Access to " + link + " was denied.");
    EXPECT_EQ(Look(QStringLiteral("/dev/null"), false), devNull);
    EXPECT_TRUE(S_ISLNK(Look(link, false).mode));
    EXPECT_TRUE(QDir(QStringLiteral("/dev"))
                    .entryList({QStringLiteral(".null.*")}, QDir::AllEntries | QDir::Hidden | QDir::System)
                    .isEmpty());
}

// A whole-file read from a FIFO, a socket, a device or a terminal could wait for ever (a FIFO's
// writer that never writes, a terminal nobody types into): each is refused at once, by its kind.
TEST_F(SpecialFiles, OnlyARegularFileIsRead) {
    struct Case {
        const char* what;
        QString path;
        QString kind;
    };
    const QString fifo = Fifo("pipe.aid");
    const QString terminal = Terminal();
    const Case cases[] = {
        {"a FIFO without a writer", fifo, "a FIFO"},
        {"a FIFO whose writer writes nothing", FifoWithWriter("held.aid"), "a FIFO"},
        {"a link to a FIFO", Link("pipe-link.aid", fifo), "a FIFO"},
        {"a socket", Socket("socket.aid"), "a socket"},
        {"the null device", "/dev/null", "a device"},
        {"a link to the null device", Link("null-link.aid", "/dev/null"), "a device"},
        {"a terminal", terminal, "a device"},
        {"the terminal multiplexer", "/dev/ptmx", "a device"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QFile file;
        bool empty = true;
        FileError error;
        EXPECT_FALSE(OpenForReading(c.path, file, &empty, &error));
        EXPECT_EQ(error.message, c.path + " is " + c.kind + ", not a document file.");
        EXPECT_FALSE(file.isOpen());
    }
}

} // namespace
