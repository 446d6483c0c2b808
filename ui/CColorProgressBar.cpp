#include "CColorProgressBar.h"

#include <QPainter>

#include <algorithm>

namespace {

const QColor kFrame(0x80, 0x80, 0x80);

} // namespace

CColorProgressBar::CColorProgressBar(QWidget* parent) : QProgressBar(parent) {
    setTextVisible(false);
}

void CColorProgressBar::SetColors(const QColor& bar, const QColor& background) {
    if (bar == m_bar && background == m_background) {
        return;
    }
    m_bar = bar;
    m_background = background;
    update();
}

void CColorProgressBar::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    const QRect all = rect();
    painter.fillRect(all, kFrame);
    const QRect inside = all.adjusted(1, 1, -1, -1);
    painter.fillRect(inside, m_background);
    const qint64 span = qint64(maximum()) - minimum();
    if (span <= 0 || value() <= minimum()) {
        return;
    }
    // Whole pixels, rounded down, so that the bar is full only at the last step.
    const qint64 done = std::min<qint64>(qint64(value()) - minimum(), span);
    QRect chunk = inside;
    chunk.setWidth(int(inside.width() * done / span));
    painter.fillRect(chunk, m_bar);
}
