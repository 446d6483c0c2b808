// The two languages: the Chinese translation loads and reaches menus, messages and Qt's own buttons; in
// English the two Chinese operator messages carry an English line; the desktop's language chooses.
#include "CCommandLineInfo.h"
#include "CFormSetup.h"
#include "CKAVOApp.h"
#include "CMainFrame.h"
#include "CSerialPortBase.h"
#include "DownloadWorker.h"
#include "MenuEntry.h"
#include "PortWording.h"
#include "PtyPair.h"
#include "RecipeFile.h"
#include "ScratchHome.h"
#include "ScriptedMessageBoxes.h"
#include "StringTable.h"
#include "Translations.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QMenuBar>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <ostream>
#include <thread>

// Readable QStrings in test failures.
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace {

class TranslationTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(m_home.isValid());
        UseScratchHome(m_home);
    }
    // Every other test runs in English.
    void TearDown() override { InstallTranslations(QLocale(QLocale::English, QLocale::UnitedStates)); }

    // Starts the window in the installed language and presses Open Port on a port that is not there.
    QStringList PortBusyLines(CKAVOApp& app) {
        app.SetRegisterShellFileTypes(false);
        EXPECT_TRUE(app.InitInstance({}));
        CFormSetup* form = app.MainFrame()->FormPane();
        // COM250 listed, then gone before Open Port.
        const QString entry = m_home.filePath("ports/COM250");
        PtyPair pty;
        EXPECT_TRUE(QDir().mkpath(m_home.filePath("ports")) &&
                    QFile::link(QString::fromStdString(pty.slaveName), entry));
        form->Ports()->RefreshPortList();
        form->Ports()->Pick(
            form->PortList()->findData(QStringLiteral("COM250"), PortListModel::kPortNameRole));
        QFile::remove(entry);
        m_boxes.shown.clear();
        form->OnOpenPort();
        EXPECT_EQ(m_boxes.shown.size(), 1u);
        return m_boxes.shown.empty() ? QStringList() : m_boxes.shown[0].text.split(QLatin1Char('\n'));
    }

    QTemporaryDir m_home;
    CScriptedMessageBoxes m_boxes;
};

TEST_F(TranslationTest, ChineseReachesMenusMessagesAndQtsOwnButtons) {
    ASSERT_EQ(InstallTranslations(QLocale(QLocale::Chinese, QLocale::China)), QStringLiteral("zh_CN"));
    EXPECT_EQ(LoadString(AFX_IDS_IDLEMESSAGE), QStringLiteral("就绪"));
    EXPECT_EQ(FormatString1(AFX_IDP_FILE_NOT_FOUND, QStringLiteral("a.aid")),
              QStringLiteral("找不到 a.aid。"));
    EXPECT_EQ(RecipeFileSizeText(QStringLiteral("a.aid"), 12),
              QStringLiteral("a.aid 只有 12 个字节；配方文件应为 360 个字节。"));

    CKAVOApp app;
    const QStringList lines = PortBusyLines(app);
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[0], QStringLiteral("串口已被占用！")); // no English line in Chinese
    CMainFrame* frame = app.MainFrame();
    EXPECT_EQ(frame->menuBar()->actions().value(0)->text(), QStringLiteral("文件(&F)"));
    EXPECT_EQ(MenuEntry(frame->Action(ID_FILE_PRINT)), QStringLiteral("打印(&P)...\tCtrl+P"));
    EXPECT_EQ(frame->Action(ID_FILE_NEW)->toolTip(), QStringLiteral("新建"));
    EXPECT_EQ(frame->Caption(), QStringLiteral("无标题 - KAVO_3C_8CH"));
    EXPECT_EQ(frame->FormPane()->OpenPortButton()->text(), QStringLiteral("打开串口"));

    // Qt's own texts come in Chinese too.
    QDialogButtonBox box(QDialogButtonBox::Cancel);
    EXPECT_EQ(box.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("取消"));
}

// Edit > Undo and Redo name the step in the window's language, with nothing to undo as much as after an edit
// and after undoing it.
TEST_F(TranslationTest, UndoAndRedoSpeakChineseWithAndWithoutAStep) {
    ASSERT_EQ(InstallTranslations(QLocale(QLocale::Chinese, QLocale::China)), QStringLiteral("zh_CN"));
    CKAVOApp app;
    app.SetRegisterShellFileTypes(false);
    ASSERT_TRUE(app.InitInstance({}));
    CMainFrame* frame = app.MainFrame();
    const auto entry = [frame](UINT id) { return MenuEntry(frame->Action(id)); };
    EXPECT_EQ(entry(ID_EDIT_UNDO), QStringLiteral("撤消(&U)\tCtrl+Z"));
    EXPECT_EQ(entry(ID_EDIT_REDO), QStringLiteral("重做(&R)\tCtrl+Y"));
    frame->Action(ID_ALL_LED_ON)->trigger();
    EXPECT_EQ(entry(ID_EDIT_UNDO), QStringLiteral("撤消(&U) 全部 LED 开\tCtrl+Z"));
    ASSERT_TRUE(frame->RouteCommand(ID_EDIT_UNDO));
    EXPECT_EQ(entry(ID_EDIT_UNDO), QStringLiteral("撤消(&U)\tCtrl+Z"));
    EXPECT_EQ(entry(ID_EDIT_REDO), QStringLiteral("重做(&R) 全部 LED 开\tCtrl+Y"));
    ASSERT_TRUE(frame->RouteCommand(ID_EDIT_REDO));
    EXPECT_EQ(entry(ID_EDIT_REDO), QStringLiteral("重做(&R)\tCtrl+Y"));
    app.ExitInstance(0);
}

TEST_F(TranslationTest, EnglishKeepsTheTextsAndPutsAnEnglishLineUnderTheChineseMessage) {
    EXPECT_EQ(InstallTranslations(QLocale(QLocale::German, QLocale::Germany)), QString());
    EXPECT_EQ(LoadString(AFX_IDS_IDLEMESSAGE), QStringLiteral("Ready"));
    CKAVOApp app;
    const QStringList lines = PortBusyLines(app);
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines[0], QStringLiteral("串口已被占用！"));
    EXPECT_EQ(lines[1], QStringLiteral("The serial port is already in use."));
    EXPECT_TRUE(lines[2].startsWith(QStringLiteral("COM250"))) << lines[2].toStdString();
    EXPECT_EQ(app.MainFrame()->menuBar()->actions().value(0)->text(), QStringLiteral("&File"));
    QDialogButtonBox box(QDialogButtonBox::Cancel);
    EXPECT_EQ(box.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("Cancel"));
}

// The serial and download layers' failure texts come in the window's language, from whichever thread asks
// (the download worker's and the receive thread's); in English they are the source texts, word for word.
TEST_F(TranslationTest, PortAndDownloadFailuresSpeakTheWindowsLanguage) {
    struct Case {
        QLocale locale;
        const char* notFound;     // opening a port that is not there
        const char* openFailed;   // a template holding the port's own error text
        const char* writeFailed;  // a download whose frame 57 met an unplugged adapter
        const char* drainTimeout; // frames that did not leave the port
    };
    const Case cases[] = {
        {QLocale(QLocale::Chinese, QLocale::China), "未找到 COM3：适配器可能已拔出。",
         "无法打开 COM3：打开失败错误。", "向 COM3 写入第 57 帧（共 192 帧）失败：适配器已被拔出或线路已挂断",
         "写入 COM3 的 192 帧未能从串口发出：超时错误"},
        {QLocale(QLocale::English, QLocale::UnitedStates),
         "COM3 was not found: the adapter may be unplugged.", "COM3 could not be opened: open failed error.",
         "writing frame 57 of 192 to COM3 failed: the adapter was unplugged or the line hung up",
         "the 192 frames written to COM3 did not leave the port: timeout error"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.locale.name().toStdString());
        InstallTranslations(c.locale);
        std::string notFound, openFailed, writeFailed, drainTimeout;
        std::thread worker([&] {
            notFound = PortOpenFailureText("COM3", ErrorNotExist, ENOENT);
            openFailed = PortOpenFailureText("COM3", ErrorOpenFailed, 0);
            DownloadResult write;
            write.failure = DownloadResult::Failure::Write;
            write.failedFrame = 57;
            write.framesSent = 56;
            write.errorText = PortLineFailureText(ErrorWriteFailed, EIO);
            writeFailed = DescribeDownloadFailure(write, "COM3");
            DownloadResult drain;
            drain.failure = DownloadResult::Failure::Drain;
            drain.framesSent = 192;
            drain.errorText = PortErrorDescription(ErrorTimeout, 0);
            drainTimeout = DescribeDownloadFailure(drain, "COM3");
        });
        worker.join();
        EXPECT_EQ(notFound, c.notFound);
        EXPECT_EQ(openFailed, c.openFailed);
        EXPECT_EQ(writeFailed, c.writeFailed);
        EXPECT_EQ(drainTimeout, c.drainTimeout);
    }
}

// The program takes the desktop's language from the environment.
TEST(TranslationProgram, TheDesktopsLanguageChooses) {
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    struct Case {
        const char* lang;
        QString message;
    };
    const QString missing = home.filePath("missing.aid");
    const Case cases[] = {
        {"zh_CN.UTF-8", "kavo: 找不到 " + missing + "。"},
        {"en_US.UTF-8", "kavo: " + missing + " was not found."},
        {"C.UTF-8", "kavo: " + missing + " was not found."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lang);
        QProcess kavo;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name :
             {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "LANGUAGE", "LC_ALL", "LC_MESSAGES"}) {
            env.remove(name);
        }
        env.insert("LANG", c.lang);
        env.insert("XDG_DATA_HOME", home.filePath("data"));
        env.insert("XDG_CONFIG_HOME", home.filePath("config"));
        kavo.setProcessEnvironment(env);
        kavo.start(QStringLiteral(KAVO_BINARY), {"/p", missing});
        ASSERT_TRUE(kavo.waitForFinished(60000));
        EXPECT_EQ(kavo.exitCode(), 1);
        EXPECT_TRUE(QString::fromUtf8(kavo.readAllStandardError()).contains(c.message));
    }
}

TEST(TranslationFile, HasNoUnfinishedEntries) {
    QFile ts(QStringLiteral(KAVO_TS_FILE));
    ASSERT_TRUE(ts.open(QIODevice::ReadOnly));
    const QByteArray text = ts.readAll();
    EXPECT_EQ(text.count("type=\"unfinished\""), 0) << "run scripts/translations to list them";
}

} // namespace
