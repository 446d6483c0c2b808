#pragma once

#include <QLineEdit>

// A channel's value beside its slider, which the operator can also type: 1 to 255, Enter offers the level,
// Escape (or leaving the entry) shows the held level again. Anything else (0, 256, "abc") is refused with a
// visible cue and changes nothing.
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
    // Enter with a level from 1 to 255 that differs from the held one.
    void levelEntered(int level);

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

  private:
    void Enter();
    void SetRefused(bool refused);
    void ShowState();

    int m_level = 0;
    bool m_refused = false;
};
