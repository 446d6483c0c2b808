#pragma once

#include <QColor>
#include <QProgressBar>

// The download's progress bar: a bar of one colour on a background of another, painted as such whatever the
// desktop's style (a themed bar would ignore both colours, and the operator reads red and green as "running"
// and "done").
class CColorProgressBar : public QProgressBar {
    Q_OBJECT

  public:
    explicit CColorProgressBar(QWidget* parent = nullptr);

    void SetColors(const QColor& bar, const QColor& background);
    QColor BarColor() const { return m_bar; }
    QColor BackgroundColor() const { return m_background; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QColor m_bar = Qt::red;
    QColor m_background = Qt::black;
};
