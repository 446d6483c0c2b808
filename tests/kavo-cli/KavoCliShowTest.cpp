// kavo-cli show, run as a program on real files.
#include "PtyPair.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstring>
#include <fcntl.h>
#include <ostream>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

// Readable QStrings in test failures.
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace {

struct CliRun {
    int code;
    QString out;
    QString err;
};

// The wait is the watchdog of a read that hangs: past it the program is killed and the test fails.
CliRun Finish(QProcess& p) {
    EXPECT_TRUE(p.waitForFinished(30000)) << "kavo-cli show did not end";
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

CliRun Show(const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral(KAVO_CLI), QStringList{"show"} + args);
    return Finish(p);
}

// kavo-cli show run from the shell in dir with a file name pattern, so that the name reaches it as the
// bytes the folder holds (a QString argument would be sent as UTF-8).
CliRun ShowMatching(const QTemporaryDir& dir, const QString& pattern) {
    QProcess p;
    p.setWorkingDirectory(dir.path());
    p.start(QStringLiteral("/bin/sh"), {"-c", "exec \"$0\" show " + pattern, QStringLiteral(KAVO_CLI)});
    return Finish(p);
}

QString Write(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes) {
    QFile f(dir.filePath(name));
    f.open(QIODevice::WriteOnly);
    f.write(bytes);
    return f.fileName();
}

TEST(KavoCliShow, PrintsLevelsAndStepMarksPerCameraAndPosition) {
    QTemporaryDir dir;
    QByteArray bytes = QByteArray(240, '\0') + QByteArray(120, '\xFF');
    bytes[16] = '\x01'; // camera 1, position 2, channel 1: steps 1 and 16
    bytes[17] = '\x80';
    bytes[299] = '\x80'; // camera 2, position 3, channel 4: level 128
    const CliRun r = Show({Write(dir, "r.aid", bytes)});
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.isEmpty());
    EXPECT_EQ(r.out.count("Camera "), 15);
    EXPECT_TRUE(r.out.contains("\nCamera 1, position 2\n")) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("  CH1        255  #..............#\n")) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("  CH12       128  ................\n")) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("  CH24       255  ................\n")) << r.out.toStdString();
}

TEST(KavoCliShow, RefusesBadFilesAndBadUsage) {
    QTemporaryDir dir;
    CliRun r = Show({Write(dir, "short.aid", QByteArray(359, '\0'))});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.out.isEmpty());
    EXPECT_EQ(r.err,
              "kavo-cli show: " + dir.filePath("short.aid") + " is 359 bytes; a recipe file is 360 bytes.\n");

    r = Show({dir.filePath("missing.aid")});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains(dir.filePath("missing.aid") + " was not found.")) << r.err.toStdString();

    for (const QStringList& args :
         {QStringList{}, QStringList{"a.aid", "b.aid"}, QStringList{"--bogus", "a.aid"}}) {
        r = Show(args);
        EXPECT_EQ(r.code, 2) << args.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains("Usage: kavo-cli show")) << r.err.toStdString();
    }

    r = Show({"--help"});
    EXPECT_EQ(r.code, 0);
    EXPECT_TRUE(r.out.contains("Usage: kavo-cli show")) << r.out.toStdString();
}

// A FIFO, a socket or a terminal named as a recipe: refused at once instead of a read that waits for
// ever (the FIFO's writer writes nothing, nobody types into the terminal).
TEST(KavoCliShow, RefusesWhatIsNoFileAtOnce) {
    QTemporaryDir dir;
    const QByteArray fifo = QFile::encodeName(dir.filePath("pipe.aid"));
    const QByteArray held = QFile::encodeName(dir.filePath("held.aid"));
    ASSERT_EQ(::mkfifo(fifo.constData(), 0644), 0);
    ASSERT_EQ(::mkfifo(held.constData(), 0644), 0);
    const int writer = ::open(held.constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(writer, 0);
    const int sock = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const QByteArray sockPath = QFile::encodeName(dir.filePath("socket.aid"));
    std::memcpy(addr.sun_path, sockPath.constData(), static_cast<size_t>(sockPath.size()));
    ASSERT_EQ(::bind(sock, reinterpret_cast<const sockaddr*>(&addr), sizeof addr), 0);
    const PtyPair pty;
    ASSERT_TRUE(pty.ok());
    const QString terminal = QString::fromLocal8Bit(pty.slaveName.c_str());

    const struct {
        QString path;
        const char* kind;
    } cases[] = {
        {dir.filePath("pipe.aid"), "a FIFO"},
        {dir.filePath("held.aid"), "a FIFO"},
        {dir.filePath("socket.aid"), "a socket"},
        {terminal, "a device"},
        {"/dev/ptmx", "a device"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        const CliRun r = Show({c.path});
        EXPECT_EQ(r.code, 1);
        EXPECT_TRUE(r.out.isEmpty());
        EXPECT_EQ(r.err, "kavo-cli show: " + c.path + " is " + c.kind + ", not a document file.\n");
    }
    ::close(sock);
    ::close(writer);
}

// A name that is not UTF-8 opens; it and any control character in a name are printed escaped.
TEST(KavoCliShow, OpensAnyNameAndPrintsItEscaped) {
    QTemporaryDir dir;
    const QByteArray name = "caf\xE9\n\x1B[2J.aid";
    {
        const QByteArray native = QFile::encodeName(dir.path()) + "/" + name;
        const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        ASSERT_GE(fd, 0);
        const QByteArray bytes = QByteArray(240, '\0') + QByteArray(120, '\xFF');
        ASSERT_EQ(::write(fd, bytes.constData(), 360), 360);
        ::close(fd);
    }
    CliRun r = ShowMatching(dir, "caf*");
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.startsWith("Recipe caf\\xe9\\n\\x1b[2J.aid\n\nCamera 1, position 1\n"))
        << r.out.toStdString();

    r = Show({dir.filePath("gone\t\x1B[2J.aid")});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "kavo-cli show: " + dir.path() + "/gone\\x09\\x1b[2J.aid was not found.\n");
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
