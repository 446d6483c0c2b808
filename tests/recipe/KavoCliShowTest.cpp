// kavo-cli show, run as a program on real files.
#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

struct CliRun {
    int code;
    QString out;
    QString err;
};

CliRun Show(const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral(KAVO_CLI_PATH), QStringList{"show"} + args);
    EXPECT_TRUE(p.waitForFinished(30000));
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
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
    EXPECT_TRUE(r.err.contains("Unexpected file format.\n")) << r.err.toStdString();

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

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
