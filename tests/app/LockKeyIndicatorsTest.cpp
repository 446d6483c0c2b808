// The Caps Lock and Num Lock panes follow the keyboard's lights of an X display: a virtual X server of
// the test's own, whose lock modifiers the test sets from a second client.
#include "CKAVOApp.h"
#include "CLockKeyIndicators.h"
#include "CMainFrame.h"
#include "CStatusBar.h"
#include "ScriptedMessageBoxes.h"
#include "StatusPanes.h"
#include "StringTable.h"

#include <QCoreApplication>
#include <QProcess>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>

// Xlib's macros (None, Bool, ...) come after every other header.
#include <X11/XKBlib.h>
#include <X11/keysym.h>

namespace {

// Xvfb on a display number of its choosing, told back on its standard output.
class VirtualXServer {
  public:
    VirtualXServer() {
        const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
        if (xvfb.isEmpty()) {
            return;
        }
        m_server.start(xvfb, {"-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "320x240x24"});
        while (m_server.waitForReadyRead(10000)) {
            if (m_server.canReadLine()) {
                m_display = QLatin1Char(':') + QString::fromLatin1(m_server.readLine()).trimmed();
                break;
            }
        }
    }
    ~VirtualXServer() {
        m_server.terminate();
        m_server.waitForFinished(5000);
    }
    const QString& Display() const { return m_display; }

  private:
    QProcess m_server;
    QString m_display;
};

bool WaitFor(const std::function<bool()>& done) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    }
    return true;
}

TEST(LockKeyPanes, FollowTheKeyboardsIndicatorEvents) {
    VirtualXServer server;
    if (server.Display().isEmpty()) {
        GTEST_SKIP() << "no Xvfb to run a keyboard on";
    }
    CScriptedMessageBoxes boxes;
    AppServices services = CKAVOApp::DefaultServices();
    services.lockKeyDisplay = server.Display();
    CKAVOApp app(std::move(services));
    app.SetRegisterShellFileTypes(false);
    ASSERT_TRUE(app.InitInstance({}));
    ASSERT_TRUE(app.MainFrame()->LockKeys()->IsWatching());
    CStatusBar* bar = app.MainFrame()->StatusBar();

    ::Display* keyboard = XOpenDisplay(server.Display().toLocal8Bit().constData());
    ASSERT_NE(keyboard, nullptr);
    struct Case {
        const char* name;
        unsigned modifier;
        int pane;
        UINT text;
    };
    const Case cases[] = {
        {"Caps Lock", LockMask, StatusPanes::kCaps, ID_INDICATOR_CAPS},
        {"Num Lock", XkbKeysymToModifiers(keyboard, XK_Num_Lock), StatusPanes::kNum, ID_INDICATOR_NUM},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_NE(c.modifier, 0u);
        EXPECT_EQ(bar->GetPaneText(c.pane), QString());
        XkbLockModifiers(keyboard, XkbUseCoreKbd, c.modifier, c.modifier);
        XFlush(keyboard);
        EXPECT_TRUE(WaitFor([&] { return bar->GetPaneText(c.pane) == LoadString(c.text); }));
        XkbLockModifiers(keyboard, XkbUseCoreKbd, c.modifier, 0);
        XFlush(keyboard);
        EXPECT_TRUE(WaitFor([&] { return bar->GetPaneText(c.pane).isEmpty(); }));
    }
    XCloseDisplay(keyboard);
    app.ExitInstance(0);
}

} // namespace
