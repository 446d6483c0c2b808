// kavo: the lighting recipe editor and downloader.
#include "AfxMessageBox.h"
#include "CCommandLineInfo.h"
#include "CKAVOApp.h"
#include "CMainFrame.h"
#include "FileName.h"
#include "Translations.h"

#include <QApplication>
#include <QPixmap>
#include <QTimer>

#include <cstdio>
#include <optional>

namespace {

const char* const kUsage =
    "Usage: kavo [FILE.aid] [--screenshot FILE.png]\n"
    "  FILE.aid               open this recipe instead of a new one\n"
    "  --screenshot FILE.png  render the main window to a picture and end\n"
    "  /p FILE                print the recipe on the default printer and end\n"
    "  /pt FILE PRINTER [DRIVER PORT]   print the recipe on the named printer and end\n"
    "  /Register, /Unregister (and the PerUser forms)   add or remove the desktop's .aid type and end\n";

bool HaveDisplay() {
    return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

} // namespace

int main(int argc, char** argv) {
    // With a display, Qt takes its own options (-platform, -style, ...) off the command line first.
    // Without one, the command line is read before any window system is touched: help, usage errors
    // and the switches that show no window work on a machine without a display.
    std::optional<QApplication> app;
    if (HaveDisplay()) {
        app.emplace(argc, argv);
    }
    QStringList args;
    for (int i = 1; i < argc; ++i) {
        args << DecodeFileName(QByteArray(argv[i]));
    }
    const CCommandLineInfo cmdInfo = CCommandLineInfo::Parse(args);
    if (cmdInfo.m_bHelp) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (!cmdInfo.m_usageError.isEmpty()) {
        std::fprintf(stderr, "kavo: %s\n\n%s", qPrintable(cmdInfo.m_usageError), kUsage);
        return 2;
    }
    for (const QString& unknown : cmdInfo.m_unknownSwitches) {
        std::fprintf(stderr, "kavo: ignoring unknown option %s\n", qPrintable(unknown));
    }
    for (const QString& extra : cmdInfo.m_extraArguments) {
        std::fprintf(stderr, "kavo: one recipe at a time; ignoring %s\n", qPrintable(extra));
    }
    if (!app) {
        const bool windowless = cmdInfo.m_nShellCommand == CCommandLineInfo::AppRegister ||
                                cmdInfo.m_nShellCommand == CCommandLineInfo::AppUnregister ||
                                cmdInfo.m_nShellCommand == CCommandLineInfo::FilePrint ||
                                cmdInfo.m_nShellCommand == CCommandLineInfo::FilePrintTo ||
                                !cmdInfo.m_strScreenshot.isEmpty();
        if (!windowless) {
            std::fputs("kavo: no display to show the window on (DISPLAY and WAYLAND_DISPLAY are not set).\n"
                       "Run it on a desktop, or render it with: kavo --screenshot FILE.png\n",
                       stderr);
            return 1;
        }
        qputenv("QT_QPA_PLATFORM", "offscreen");
        app.emplace(argc, argv);
        // Nobody sees the offscreen window's boxes: messages go to standard error and wait for no one.
        SetMessageBoxesInteractive(false);
    }

    // The desktop's language: Chinese where it asks for it (LANGUAGE, LC_ALL, LC_MESSAGES, LANG), else
    // English.
    InstallTranslations(QLocale::system());

    CKAVOApp theApp;
    if (!theApp.InitInstance(cmdInfo)) {
        return theApp.ExitInstance(theApp.ExitCode());
    }
    const QString screenshot = cmdInfo.m_strScreenshot;
    if (!screenshot.isEmpty()) {
        // Let the window lay itself out and paint once, then save it.
        int code = 0;
        QTimer::singleShot(300, &*app, [&] {
            const QPixmap picture = theApp.MainFrame()->grab();
            if (picture.isNull() || !picture.save(screenshot)) {
                std::fprintf(stderr, "kavo: could not write %s\n", qPrintable(screenshot));
                code = 1;
            } else {
                std::printf("kavo: wrote %s (%dx%d)\n", qPrintable(screenshot), picture.width(),
                            picture.height());
            }
            app->quit();
        });
        app->exec();
        return theApp.ExitInstance(code);
    }
    return theApp.ExitInstance(app->exec());
}
