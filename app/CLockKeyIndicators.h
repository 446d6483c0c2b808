#pragma once

#include <QObject>
#include <QString>

#include <array>
#include <memory>

class QSocketNotifier;

// The keyboard's Caps Lock, Num Lock and Scroll Lock lights as the X server reports them. A connection
// of its own to the display asks for indicator-change events only and is watched on its socket, so that
// nothing wakes while the lights stay as they are. Without a display (offscreen) it does nothing and
// every light reads off.
class CLockKeyIndicators : public QObject {
    Q_OBJECT

  public:
    enum Light { Caps, Num, Scroll };

    // displayName: the X display whose keyboard to follow; empty: none.
    explicit CLockKeyIndicators(const QString& displayName, QObject* parent = nullptr);
    ~CLockKeyIndicators() override;

    // True while a display is followed.
    bool IsWatching() const { return m_connection != nullptr; }
    bool IsLit(Light light) const { return m_lit[light]; }

    // The display of Qt's own X connection; empty on any other platform (offscreen, Wayland).
    static QString ApplicationDisplayName();

  signals:
    // One of the lights went on or off; all three states as they are now.
    void changed(bool caps, bool num, bool scroll);

  private:
    struct Connection;
    void OnReadable();

    std::unique_ptr<Connection> m_connection;
    QSocketNotifier* m_notifier = nullptr;
    std::array<bool, 3> m_lit{};
};
