#pragma once

// Shared pieces of the setup form's tests: a pseudo-terminal standing for the controller, a port name
// table over a temporary folder (no built-in ports of the machine running the tests), and the main window.

#include "CFormSetup.h"
#include "CKAVOApp.h"
#include "CKAVODoc.h"
#include "CMainFrame.h"
#include "PortNameTable.h"
#include "PtyPair.h"
#include "ScriptedMessageBoxes.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// A machine with only the ports the test enters: a folder of COMn links, and empty sysfs and /dev trees.
class FakeMachine {
  public:
    FakeMachine() {
        QDir root(m_dir.path());
        root.mkpath(QStringLiteral("ports"));
        root.mkpath(QStringLiteral("sys/class/tty"));
        root.mkpath(QStringLiteral("dev"));
    }

    PortNameTable Table() const {
        return PortNameTable(Path("ports").toStdString(), Path("sys").toStdString(),
                             Path("dev").toStdString());
    }
    // The program's services on this machine: its port table, no tone, the standard pacing, no X display.
    AppServices Services() const {
        return AppServices{Table(), nullptr, DownloadWorker::Options(), QString()};
    }
    QString Path(const char* sub) const { return m_dir.path() + QLatin1Char('/') + QLatin1String(sub); }

    void AddPort(const QString& name, const QString& target) {
        QFile::remove(Path("ports") + QLatin1Char('/') + name);
        ASSERT_TRUE(QFile::link(target, Path("ports") + QLatin1Char('/') + name)) << name.toStdString();
    }
    void RemovePort(const QString& name) { QFile::remove(Path("ports") + QLatin1Char('/') + name); }

  private:
    QTemporaryDir m_dir;
};

// The main window as the program builds it with the given services, without the desktop registration.
struct MainWindow {
    CKAVOApp app;
    bool ok = false;

    explicit MainWindow(AppServices services) : app(std::move(services)) {
        app.SetRegisterShellFileTypes(false);
        ok = app.InitInstance({});
    }
    CFormSetup* Form() const { return app.MainFrame()->FormPane(); }
    CKAVODoc* Doc() const { return app.Document(); }
};

// Processes events until done() or the generous bound (only a hang reaches it).
inline bool WaitFor(const std::function<bool()>& done, int boundMs = 30000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(boundMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QTest::qWait(1);
    }
    return true;
}
