#include "CColorButton.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>

CColorButton::CColorButton(const QString& text, QWidget* parent) : QPushButton(text, parent) {
    setFocusPolicy(Qt::StrongFocus);
}

void CColorButton::SetFaceColor(const QColor& color, bool redraw) {
    m_face = color;
    if (redraw) {
        repaint();
    } else {
        update();
    }
}

void CColorButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect r = rect();
    const bool down = isDown();
    painter.fillRect(r, m_face);

    // A raised bevel, sunk while pressed: light top-left, dark bottom-right, black outline.
    const QColor light = m_face.lighter(150);
    const QColor dark = m_face.darker(170);
    painter.setPen(Qt::black);
    painter.drawRect(r.adjusted(0, 0, -1, -1));
    const QRect inner = r.adjusted(1, 1, -2, -2);
    painter.setPen(down ? dark : light);
    painter.drawLine(inner.topLeft(), inner.topRight());
    painter.drawLine(inner.topLeft(), inner.bottomLeft());
    painter.setPen(down ? light : dark);
    painter.drawLine(inner.bottomLeft(), inner.bottomRight());
    painter.drawLine(inner.topRight(), inner.bottomRight());

    QRect textRect = r;
    if (down) {
        textRect.translate(1, 1);
    }
    painter.setPen(isEnabled() ? QColor(Qt::black) : m_face.darker(200));
    painter.drawText(textRect, Qt::AlignCenter, text());

    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = r.adjusted(3, 3, -3, -3);
        focus.backgroundColor = m_face;
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, this);
        // A dotted outline as well: not every style draws a focus frame on a button painted by hand.
        painter.setPen(QPen(Qt::black, 1, Qt::DotLine));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(r.adjusted(3, 3, -4, -4));
    }
}
