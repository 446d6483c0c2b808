// Start-up: the command line forms, opening a file named on it, the desktop registration.
#include "CCommandLineInfo.h"
#include "CKAVOApp.h"
#include "CKAVODoc.h"
#include "CMainFrame.h"
#include "CRecentFileList.h"
#include "ScratchHome.h"
#include "ScriptedMessageBoxes.h"
#include "ShellRegistration.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <map>
#include <thread>
#include <tuple>

namespace {

using Shell = CCommandLineInfo::Shell;

TEST(CommandLine, FormsAreReadByTheFrameworkRules) {
    struct Case {
        QStringList args;
        Shell command;
        QString file;
    };
    const Case cases[] = {
        {{}, Shell::FileNew, {}},
        {{"/home/op/recipe.aid"}, Shell::FileOpen, "/home/op/recipe.aid"},
        {{"recipe.aid"}, Shell::FileOpen, "recipe.aid"},
        {{"/p", "a.aid"}, Shell::FilePrint, "a.aid"},
        {{"-p", "a.aid"}, Shell::FilePrint, "a.aid"},
        {{"/pt", "a.aid", "printer", "driver", "port"}, Shell::FilePrintTo, "a.aid"},
        {{"/dde"}, Shell::FileDDE, {}},
        {{"/ddenoshow"}, Shell::FileDDE, {}},
        {{"/Register"}, Shell::AppRegister, {}},
        {{"/Regserver"}, Shell::AppRegister, {}},
        {{"/RegisterPerUser"}, Shell::AppRegister, {}},
        {{"/RegserverPerUser"}, Shell::AppRegister, {}},
        {{"/Unregister"}, Shell::AppUnregister, {}},
        {{"/Unregserver"}, Shell::AppUnregister, {}},
        {{"/UnregisterPerUser"}, Shell::AppUnregister, {}},
        {{"-unregserverperuser"}, Shell::AppUnregister, {}},
        // A path that starts like a switch but is no switch stays a path.
        {{"/pattern.aid"}, Shell::FileOpen, "/pattern.aid"},
        // After "--" a name that starts with "-" is a file too.
        {{"--", "-dash.aid"}, Shell::FileOpen, "-dash.aid"},
        {{"", "a.aid"}, Shell::FileOpen, "a.aid"},
        // What a desktop or an automation client may add is taken without a word.
        {{"/Embedding", "/Automation", "/nologo", "/RestartByRestartManager:1", "a.aid"},
         Shell::FileOpen,
         "a.aid"},
    };
    for (const Case& c : cases) {
        CCommandLineInfo info;
        info.ParseCommandLine(c.args);
        EXPECT_EQ(info.m_nShellCommand, c.command) << c.args.join(' ').toStdString();
        EXPECT_EQ(info.m_strFileName, c.file) << c.args.join(' ').toStdString();
        EXPECT_EQ(info.m_unknownSwitches, QStringList()) << c.args.join(' ').toStdString();
    }
    CCommandLineInfo pt;
    pt.ParseCommandLine({"/pt", "a.aid", "printer", "driver", "port"});
    EXPECT_EQ(pt.m_strPrinterName, "printer");
    EXPECT_EQ(pt.m_strDriverName, "driver");
    EXPECT_EQ(pt.m_strPortName, "port");

    for (const QStringList& bad : {QStringList{"/p"}, QStringList{"/pt"}, QStringList{"--screenshot"}}) {
        CCommandLineInfo info;
        info.ParseCommandLine(bad);
        EXPECT_FALSE(info.m_usageError.isEmpty()) << bad.join(' ').toStdString();
    }
}

// One recipe at a time: every file beyond the one that is opened is reported, whichever form
// named it, and none is dropped without a word.
TEST(CommandLine, ExtraFilesAreReported) {
    struct Case {
        QStringList args;
        QString file;
        QStringList extra;
    };
    const Case cases[] = {
        {{"a.aid", "b.aid"}, "a.aid", {"b.aid"}},
        {{"a.aid", "/pt", "b.aid", "P", "D", "PORT"}, "b.aid", {"a.aid"}},
        {{"/pt", "b.aid", "P", "D", "PORT", "a.aid"}, "b.aid", {"a.aid"}},
        {{"a.aid", "b.aid", "/pt", "c.aid", "P", "D", "PORT"}, "c.aid", {"b.aid", "a.aid"}},
        {{"/p", "a.aid", "b.aid"}, "a.aid", {"b.aid"}},
    };
    for (const Case& c : cases) {
        CCommandLineInfo info;
        info.ParseCommandLine(c.args);
        EXPECT_EQ(info.m_strFileName, c.file) << c.args.join(' ').toStdString();
        EXPECT_EQ(info.m_extraArguments, c.extra) << c.args.join(' ').toStdString();
    }
}

// The program itself on a machine without a display: help, usage errors and the window-less
// switches work; a plain start says why it can't show a window.
TEST(Program, WithoutADisplay) {
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    struct Case {
        QStringList args;
        int exitCode;
        QString output; // a line the program prints (stdout or stderr)
    };
    const Case cases[] = {
        {{"--help"}, 0, "Usage: kavo"},
        {{"/p"}, 2, "/p and /pt need the recipe file to open"},
        {{"/pt", "a.aid"}, 2, "/pt needs the recipe file and the printer's name"},
        {{}, 1, "no display"},
        {{"/Register"}, 0, ""},
        {{"/Unregister"}, 0, ""},
        // A file that cannot be opened: the message goes to standard error, nothing waits for an
        // answer nobody can give, and the run ends with 1.
        {{"/p", home.filePath("missing.aid")}, 1, "kavo: "},
        {{"/pt", home.filePath("missing.aid"), "P", "D", "PORT"}, 1, "kavo: "},
        {{"--screenshot", home.filePath("x.png"), home.filePath("missing.aid")}, 1, "kavo: "},
    };
    for (const Case& c : cases) {
        QProcess kavo;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
            env.remove(name);
        }
        env.insert("XDG_DATA_HOME", home.filePath("data"));
        env.insert("XDG_CONFIG_HOME", home.filePath("config"));
        kavo.setProcessEnvironment(env);
        kavo.start(QStringLiteral(KAVO_BINARY), c.args);
        ASSERT_TRUE(kavo.waitForFinished(60000)) << c.args.join(' ').toStdString();
        const QString out =
            QString::fromLocal8Bit(kavo.readAllStandardOutput() + kavo.readAllStandardError());
        EXPECT_EQ(kavo.exitStatus(), QProcess::NormalExit) << c.args.join(' ').toStdString();
        EXPECT_EQ(kavo.exitCode(), c.exitCode) << c.args.join(' ').toStdString() << ": " << out.toStdString();
        EXPECT_TRUE(out.contains(c.output)) << out.toStdString();
    }
}

class StartupTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(m_home.isValid());
        UseScratchHome(m_home);
        m_app.SetRegisterShellFileTypes(false);
    }

    QString writeFile(const QString& name, const QByteArray& bytes) {
        const QString path = m_home.filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return path;
    }

    QTemporaryDir m_home;
    CScriptedMessageBoxes m_boxes;
    CKAVOApp m_app;
};

TEST_F(StartupTest, EmptyCommandLineGivesANewRecipe) {
    ASSERT_TRUE(m_app.InitInstance({}));
    const CKAVODoc* doc = m_app.Document();
    EXPECT_FALSE(doc->IsModified());
    EXPECT_EQ(doc->GetTitle(), "Untitled");
    EXPECT_EQ(doc->GetCurCamera(), 1);
    EXPECT_EQ(doc->GetCurPosition(), 1);
    EXPECT_EQ(doc->GetStepCount(), 16);
    EXPECT_FALSE(doc->IsPatternChanged());
    for (const auto& camera : doc->GetRecipe().m_levels) {
        for (const auto& position : camera) {
            for (std::uint8_t level : position) {
                EXPECT_EQ(level, 255);
            }
        }
    }
    for (const auto& camera : doc->GetRecipe().m_stepMasks) {
        for (const auto& position : camera) {
            for (std::uint16_t mask : position) {
                EXPECT_EQ(mask, 0);
            }
        }
    }
    EXPECT_TRUE(m_app.MainFrame()->isVisible());
    EXPECT_TRUE(m_boxes.shown.empty());
}

TEST_F(StartupTest, AFileOnTheCommandLineOpensInsteadOfNew) {
    QByteArray bytes(360, '\0');
    bytes[0] = 0x01;         // camera 1, position 1, channel 1: step 1
    bytes[240] = char(0x22); // its level
    const QString path = writeFile("start.aid", bytes);
    ASSERT_TRUE(m_app.InitInstance(CCommandLineInfo::Parse({path})));
    EXPECT_EQ(m_app.Document()->GetTitle(), "start.aid");
    EXPECT_EQ(m_app.Document()->GetMask(1, 1, 1), 0x0001);
    EXPECT_EQ(m_app.Document()->GetLevel(1, 1, 1), 0x22);
    EXPECT_EQ(m_app.Document()->GetCurCamera(), 1);
    EXPECT_FALSE(m_app.Document()->IsModified());
    EXPECT_EQ(m_app.MainFrame()->Caption(), "start.aid - KAVO_3C_8CH");
    EXPECT_EQ(m_app.RecentFiles()->Entries().value(0), QFileInfo(path).absoluteFilePath());
}

TEST_F(StartupTest, AnUnreadableFileOnTheCommandLineIsReportedAndEndsTheProgram) {
    const QString missing = m_home.filePath("missing.aid");
    EXPECT_FALSE(m_app.InitInstance(CCommandLineInfo::Parse({missing})));
    EXPECT_NE(m_app.ExitCode(), 0);
    EXPECT_EQ(m_app.MainFrame(), nullptr);
    ASSERT_EQ(m_boxes.shown.size(), 1u);
    EXPECT_EQ(m_boxes.shown[0].text, missing + " was not found.");
    EXPECT_EQ(m_boxes.shown[0].type & MB_ICONMASK, MB_ICONEXCLAMATION);

    CKAVOApp second;
    second.SetRegisterShellFileTypes(false);
    const QString shortFile = writeFile("short.aid", QByteArray(359, '\0'));
    EXPECT_FALSE(second.InitInstance(CCommandLineInfo::Parse({shortFile})));
    EXPECT_NE(second.ExitCode(), 0);
    EXPECT_EQ(m_boxes.shown.back().text, shortFile + " is 359 bytes; a recipe file is 360 bytes.");
}

TEST_F(StartupTest, PrintSwitchesOpenTheFileThenPrintAndEnd) {
    // The printing itself is in PrintTest; here: an unreadable file ends the run before any printer is
    // sought.
    CKAVOApp printTo;
    printTo.SetRegisterShellFileTypes(false);
    EXPECT_FALSE(printTo.InitInstance(
        CCommandLineInfo::Parse({"/pt", m_home.filePath("gone.aid"), "lp", "drv", "port"})));
    EXPECT_NE(printTo.ExitCode(), 0);
    ASSERT_EQ(m_boxes.shown.size(), 1u);
    EXPECT_EQ(m_boxes.shown[0].text, m_home.filePath("gone.aid") + " was not found.");
}

TEST_F(StartupTest, RegisterAndUnregisterWriteAndRemoveTheDesktopFilesThenEnd) {
    m_app.SetExecutablePath("/opt/kavo 100%/kavo");
    EXPECT_FALSE(m_app.InitInstance(CCommandLineInfo::Parse({"/Register"})));
    EXPECT_EQ(m_app.ExitCode(), 0);
    EXPECT_EQ(m_app.MainFrame(), nullptr);

    QFile mime(ShellRegistration::MimePackagePath());
    ASSERT_TRUE(mime.open(QIODevice::ReadOnly));
    const QByteArray mimeText = mime.readAll();
    EXPECT_TRUE(mimeText.contains("<glob pattern=\"*.aid\"/>"));
    EXPECT_TRUE(mimeText.contains("<comment>KAVO.Document</comment>"));
    QFile desktop(ShellRegistration::DesktopEntryPath());
    ASSERT_TRUE(desktop.open(QIODevice::ReadOnly));
    const QByteArray desktopText = desktop.readAll();
    EXPECT_TRUE(desktopText.contains("Exec=\"/opt/kavo 100%%/kavo\" %f\n")) << desktopText.toStdString();
    EXPECT_TRUE(desktopText.contains("MimeType=application/x-kavo-document;"));
    EXPECT_TRUE(QFileInfo::exists(ShellRegistration::IconPath()));

    CKAVOApp unregister;
    EXPECT_FALSE(unregister.InitInstance(CCommandLineInfo::Parse({"/Unregister"})));
    EXPECT_EQ(unregister.ExitCode(), 0);
    EXPECT_FALSE(QFileInfo::exists(ShellRegistration::MimePackagePath()));
    EXPECT_FALSE(QFileInfo::exists(ShellRegistration::DesktopEntryPath()));
}

// A FIFO where a registration file goes (any program of the user can make one) is neither waited on nor
// replaced: the registration fails, the rest is written, and the program starts.
TEST_F(StartupTest, RegistrationNeitherWaitsOnNorReplacesAFifo) {
    const QString fifo = ShellRegistration::DesktopEntryPath();
    QDir().mkpath(QFileInfo(fifo).absolutePath());
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0644), 0);
    auto registered =
        std::async(std::launch::async, [] { return ShellRegistration::Register("/opt/kavo/kavo"); });
    if (registered.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
        ADD_FAILURE() << "the registration waited on the FIFO";
        const int fd = ::open(QFile::encodeName(fifo).constData(), O_RDWR | O_NONBLOCK);
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        ::close(fd);
    }
    EXPECT_FALSE(registered.get());
    struct stat st {};
    ASSERT_EQ(::lstat(QFile::encodeName(fifo).constData(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    EXPECT_TRUE(QFileInfo::exists(ShellRegistration::MimePackagePath()));
}

// An installation's tree under a temporary prefix: bin/kavo and, when installed, the desktop entry
// in share/applications; XDG_DATA_DIRS as the desktop's session would set it.
class InstalledProgramTest : public StartupTest {
  protected:
    void SetUp() override {
        StartupTest::SetUp();
        m_savedDataDirs = qgetenv("XDG_DATA_DIRS");
        m_hadDataDirs = qEnvironmentVariableIsSet("XDG_DATA_DIRS");
        ASSERT_TRUE(QDir().mkpath(m_home.filePath("prefix/bin")));
    }
    void TearDown() override {
        if (m_hadDataDirs) {
            qputenv("XDG_DATA_DIRS", m_savedDataDirs);
        } else {
            qunsetenv("XDG_DATA_DIRS");
        }
    }
    void installDesktopEntry() {
        ASSERT_TRUE(QDir().mkpath(m_home.filePath("prefix/share/applications")));
        writeFile("prefix/share/applications/kavo.desktop", "[Desktop Entry]\nExec=kavo %f\n");
    }
    QString program() const { return m_home.filePath("prefix/bin/kavo"); }

    QByteArray m_savedDataDirs;
    bool m_hadDataDirs = false;
};

TEST_F(InstalledProgramTest, TheDesktopEntryBesideTheProgramCountsWhereTheDesktopLooks) {
    installDesktopEntry();
    const QString share = m_home.filePath("prefix/share");
    struct Case {
        QString dataDirs;
        bool provided;
    };
    const Case cases[] = {
        {share, true},
        {"/nowhere:" + share + "/", true}, // any entry of the list, with or without a slash
        {m_home.filePath("prefix/../prefix/share"), true},
        {m_home.filePath("elsewhere"), false}, // installed where no desktop looks: register per user
        {"", false},                           // the default list, /usr/local/share and /usr/share
    };
    for (const Case& c : cases) {
        qputenv("XDG_DATA_DIRS", c.dataDirs.toUtf8());
        EXPECT_EQ(ShellRegistration::ProvidedByInstallation(program()), c.provided)
            << c.dataDirs.toStdString();
    }
    // Installed under the user's own data folder (cmake --install --prefix ~/.local).
    qputenv("XDG_DATA_DIRS", "/nowhere");
    qputenv("XDG_DATA_HOME", share.toUtf8());
    EXPECT_TRUE(ShellRegistration::ProvidedByInstallation(program()));
}

TEST_F(InstalledProgramTest, ABuildFromSourceHasNoDesktopEntryBesideIt) {
    qputenv("XDG_DATA_DIRS", m_home.filePath("prefix/share").toUtf8());
    EXPECT_FALSE(ShellRegistration::ProvidedByInstallation(program()));
    ASSERT_TRUE(QDir().mkpath(m_home.filePath("prefix/share/applications")));
    EXPECT_FALSE(ShellRegistration::ProvidedByInstallation(program())); // the folder alone is not it
}

TEST_F(InstalledProgramTest, EveryStartOfABuildFromSourceRegistersTheFileType) {
    qputenv("XDG_DATA_DIRS", m_home.filePath("prefix/share").toUtf8());
    CKAVOApp app;
    app.SetExecutablePath(program());
    ASSERT_TRUE(app.InitInstance({}));
    EXPECT_TRUE(QFileInfo::exists(ShellRegistration::MimePackagePath()));
    QFile desktop(ShellRegistration::DesktopEntryPath());
    ASSERT_TRUE(desktop.open(QIODevice::ReadOnly));
    EXPECT_TRUE(desktop.readAll().contains(QFile::encodeName(program())));
}

// Every file and folder under the data folder with its inode and modification time: a file written anew
// (even with the same bytes) gets a new inode, a folder whose entries changed a new time.
std::map<QString, std::tuple<ino_t, time_t, long>> Snapshot(const QString& root) {
    std::map<QString, std::tuple<ino_t, time_t, long>> entries;
    QStringList paths{root};
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        paths << it.next();
    }
    for (const QString& path : paths) {
        struct stat st {};
        if (::lstat(QFile::encodeName(path).constData(), &st) == 0) {
            entries[path] = {st.st_ino, st.st_mtim.tv_sec, st.st_mtim.tv_nsec};
        }
    }
    return entries;
}

// Once the type is registered, a start writes nothing and starts no tool; a moved program rewrites its
// desktop entry and refreshes that database only. Unregistering refreshes what it removed, and only then.
TEST_F(InstalledProgramTest, AStartWithNothingChangedWritesNothingAndStartsNoTool) {
    qputenv("XDG_DATA_DIRS", m_home.filePath("prefix/share").toUtf8());
    QStringList runs;
    const auto countRuns = [&runs](const QString& tool, const QString& folder) {
        runs << tool + " " + QFileInfo(folder).fileName();
    };
    const auto start = [&](const QString& program) {
        CKAVOApp app;
        app.SetExecutablePath(program);
        app.SetShellToolRunner(countRuns);
        ASSERT_TRUE(app.InitInstance({}));
        app.ExitInstance(0);
    };
    const QString data = ShellRegistration::DataHome();
    start(program());
    EXPECT_EQ(runs, (QStringList{"update-mime-database mime", "update-desktop-database applications"}));
    const auto registered = Snapshot(data);
    ASSERT_TRUE(registered.count(ShellRegistration::DesktopEntryPath()));

    runs.clear();
    start(program());
    EXPECT_EQ(runs, QStringList());
    EXPECT_EQ(Snapshot(data), registered);

    start(m_home.filePath("moved/kavo"));
    EXPECT_EQ(runs, QStringList{"update-desktop-database applications"});
    EXPECT_EQ(std::get<0>(Snapshot(data).at(ShellRegistration::MimePackagePath())),
              std::get<0>(registered.at(ShellRegistration::MimePackagePath())));

    runs.clear();
    EXPECT_TRUE(ShellRegistration::Unregister(countRuns));
    EXPECT_EQ(runs, (QStringList{"update-mime-database mime", "update-desktop-database applications"}));
    runs.clear();
    EXPECT_TRUE(ShellRegistration::Unregister(countRuns));
    EXPECT_EQ(runs, QStringList());
}

TEST_F(InstalledProgramTest, AnInstalledProgramRegistersNothingPerUser) {
    installDesktopEntry();
    qputenv("XDG_DATA_DIRS", m_home.filePath("prefix/share").toUtf8());
    CKAVOApp app;
    app.SetExecutablePath(program());
    ASSERT_TRUE(app.InitInstance({}));
    EXPECT_TRUE(app.MainFrame()->isVisible());
    EXPECT_FALSE(QFileInfo::exists(ShellRegistration::MimePackagePath()));
    EXPECT_FALSE(QFileInfo::exists(ShellRegistration::DesktopEntryPath()));
    EXPECT_FALSE(QFileInfo::exists(ShellRegistration::IconPath()));
}

} // namespace
