// kavo: the lighting recipe editor and downloader.
#include "CKAVOApp.h"
#include "CMainFrame.h"

#include <QApplication>
#include <QPixmap>
#include <QTimer>

#include <cstdio>

namespace {

const char* const kUsage =
    "Usage: kavo [FILE.aid] [--screenshot FILE.png]\n"
    "  FILE.aid               open this recipe instead of a new one\n"
    "  --screenshot FILE.png  render the main window to a picture and end\n"
    "  /p FILE, /pt FILE PRINTER DRIVER PORT   open the file and end (nothing is printed)\n"
    "  /Register, /Unregister (and the PerUser forms)   add or remove the desktop's .aid type and end\n";

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Local AppWizard-Generated Applications"));
    QCoreApplication::setApplicationName(QStringLiteral("KAVO"));

    CKAVOApp theApp;
    const QStringList args = QCoreApplication::arguments().mid(1);
    if (!theApp.InitInstance(args)) {
        return theApp.ExitInstance(theApp.ExitCode());
    }
    if (theApp.CommandLine().m_bHelp) {
        std::fputs(kUsage, stdout);
        return theApp.ExitInstance(0);
    }
    const QString screenshot = theApp.CommandLine().m_strScreenshot;
    if (!screenshot.isEmpty()) {
        // Let the window lay itself out and paint once, then save it.
        int code = 0;
        QTimer::singleShot(300, &app, [&] {
            const QPixmap picture = theApp.MainFrame()->grab();
            if (picture.isNull() || !picture.save(screenshot)) {
                std::fprintf(stderr, "kavo: could not write %s\n", qPrintable(screenshot));
                code = 1;
            } else {
                std::printf("kavo: wrote %s (%dx%d)\n", qPrintable(screenshot), picture.width(),
                            picture.height());
            }
            app.quit();
        });
        app.exec();
        return theApp.ExitInstance(code);
    }
    return theApp.ExitInstance(app.exec());
}
