#pragma once

#include <QLineEdit>

// A channel's value beside its slider, which the operator can also type: 1 to 255, offered on Enter and on
// leaving the entry (as a spin box takes it); Escape shows the held level again. Anything else (0, 256,
// "abc") changes nothing and shows the tip: on Enter it is refused with a visible cue and stays to be
// corrected, on leaving the held level comes back. The held level itself (a 0 read from a file included)
// is never re-offered.
class CLevelEdit : public QLineEdit {
    Q_OBJECT

  public:
    static constexpr int kMin = 1;
    static constexpr int kMax = 255;

    explicit CLevelEdit(const QString& text, QWidget* parent = nullptr);

    // The held level, shown; a refusal cue goes.
    void SetLevel(int level);
    int Level() const { return m_level; }
    // The last Enter was refused and the text not changed since.
    bool IsRefused() const { return m_refused; }

  signals:
    // Enter or leaving the entry with a level from 1 to 255 that differs from the held one.
    void levelEntered(int level);

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

  private:
    // Takes the typed text; leaving: the focus is going elsewhere (an invalid text gives way to the held
    // level instead of the refusal cue).
    void Take(bool leaving);
    void ShowTip();
    void SetRefused(bool refused);
    void ShowState();

    int m_level = 0;
    bool m_refused = false;
};
