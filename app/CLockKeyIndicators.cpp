#include "CLockKeyIndicators.h"

#include <QGuiApplication>
#include <QSocketNotifier>

#include <QtGui/qguiapplication_platform.h>
// Xlib's macros (None, Bool, Status, ...) stay in this file.
#include <X11/XKBlib.h>

struct CLockKeyIndicators::Connection {
    Display* display = nullptr;
    int xkbEventType = 0;
    // The server's indicator number of each light, -1 where the keymap has no such indicator.
    std::array<int, 3> index{-1, -1, -1};

    ~Connection() {
        if (display != nullptr) {
            XCloseDisplay(display);
        }
    }
};

CLockKeyIndicators::CLockKeyIndicators(const QString& displayName, QObject* parent) : QObject(parent) {
    if (displayName.isEmpty()) {
        return;
    }
    auto connection = std::make_unique<Connection>();
    int major = XkbMajorVersion;
    int minor = XkbMinorVersion;
    int errorBase = 0;
    int reason = 0;
    const QByteArray name = displayName.toLocal8Bit();
    connection->display =
        XkbOpenDisplay(name.constData(), &connection->xkbEventType, &errorBase, &major, &minor, &reason);
    if (connection->display == nullptr) {
        return; // no such display, or no keyboard extension: the lights stay off
    }
    Display* display = connection->display;
    const char* const names[3] = {"Caps Lock", "Num Lock", "Scroll Lock"};
    for (int i = 0; i < 3; ++i) {
        const Atom atom = XInternAtom(display, names[i], True);
        int index = -1;
        Bool on = False;
        if (atom != None && XkbGetNamedIndicator(display, atom, &index, &on, nullptr, nullptr)) {
            connection->index[i] = index;
            m_lit[i] = on == True;
        }
    }
    XkbSelectEvents(display, XkbUseCoreKbd, XkbIndicatorStateNotifyMask, XkbIndicatorStateNotifyMask);
    XFlush(display);
    m_notifier = new QSocketNotifier(ConnectionNumber(display), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] { OnReadable(); });
    m_connection = std::move(connection);
}

CLockKeyIndicators::~CLockKeyIndicators() = default;

QString CLockKeyIndicators::ApplicationDisplayName() {
    auto* x11 = qGuiApp != nullptr ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (x11 == nullptr || x11->display() == nullptr) {
        return QString();
    }
    return QString::fromLocal8Bit(DisplayString(x11->display()));
}

void CLockKeyIndicators::OnReadable() {
    Display* display = m_connection->display;
    const std::array<bool, 3> before = m_lit;
    // XPending reads what the socket holds; every queued event is taken so that the socket goes quiet.
    while (XPending(display) > 0) {
        XEvent event;
        XNextEvent(display, &event);
        if (event.type != m_connection->xkbEventType) {
            continue;
        }
        const auto& xkb = reinterpret_cast<const XkbEvent&>(event);
        if (xkb.any.xkb_type != XkbIndicatorStateNotify) {
            continue;
        }
        for (int i = 0; i < 3; ++i) {
            const int index = m_connection->index[i];
            if (index >= 0) {
                m_lit[i] = ((xkb.indicators.state >> index) & 1U) != 0;
            }
        }
    }
    if (m_lit != before) {
        emit changed(m_lit[Caps], m_lit[Num], m_lit[Scroll]);
    }
}
