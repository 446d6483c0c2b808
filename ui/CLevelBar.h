#pragma once

#include <QScrollBar>

// A channel's slider on the setup form: a horizontal scroll bar that takes the keyboard focus (the arrow
// keys step it as its arrow buttons do: Left and Down as the left arrow, Right and Up as the right one),
// shows a focus mark, offers no context menu, and tells when a burst of steps ends: the mouse button or a key
// let go, or the focus gone.
class CLevelBar : public QScrollBar {
    Q_OBJECT

  public:
    explicit CLevelBar(QWidget* parent = nullptr);

  signals:
    void burstEnded();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
};
