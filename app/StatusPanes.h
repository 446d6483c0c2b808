#pragma once

#include <QObject>
#include <QString>

class CLockKeyIndicators;
class CMYView1;
class CStatusBar;
class QMainWindow;

// The main window's status bar and what each of its seven panes shows: the message pane (the prompt of
// the command under the mouse, "Ready" otherwise, and notices), the pattern view's channel count, step
// count and mouse position, and "CAP", "NUM" and "SCRL" while the keyboard's lock lights are on.
class StatusPanes : public QObject {
    Q_OBJECT

  public:
    // The panes, left to right.
    enum Pane { kMessage, kChannels, kSteps, kMouse, kCaps, kNum, kScroll };

    // Makes the window's status bar. lockKeyDisplay: the X display whose keyboard lights the lock panes
    // follow; empty: they stay blank.
    StatusPanes(QMainWindow* window, const QString& lockKeyDisplay);

    CStatusBar* Bar() const { return m_bar; }
    CLockKeyIndicators* LockKeys() const { return m_lockKeys; }

    // The view's counts and mouse position go to their panes.
    void Follow(CMYView1* view);

    // The prompt of the command under the mouse; empty when the mouse has left it ("Ready").
    void ShowPrompt(const QString& prompt);
    // A notice in the message pane, until the next prompt.
    void ShowMessage(const QString& text);
    // A notice that no longer holds: "Ready" where the message pane still shows it, nothing otherwise.
    void WithdrawMessage(const QString& text);

  private:
    void ShowLockKeys(bool caps, bool num, bool scroll);

    CStatusBar* m_bar;
    CLockKeyIndicators* m_lockKeys;
};
