#pragma once

#include <QColor>
#include <QPushButton>

// A push button painted in a face colour of its own (the camera and position buttons of the setup form).
class CColorButton : public QPushButton {
    Q_OBJECT

  public:
    explicit CColorButton(const QString& text, QWidget* parent = nullptr);

    void SetFaceColor(const QColor& color, bool redraw = true);
    QColor FaceColor() const { return m_face; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QColor m_face{127, 127, 127};
};
