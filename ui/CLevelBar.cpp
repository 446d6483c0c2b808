#include "CLevelBar.h"

#include <QKeyEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>

CLevelBar::CLevelBar(QWidget* parent) : QScrollBar(Qt::Horizontal, parent) {
    setFocusPolicy(Qt::StrongFocus);
    // Qt's "Scroll here" menu would move the bar behind the form's back (no notice, no label, no recipe
    // change); the form's sliders have no menu.
    setContextMenuPolicy(Qt::NoContextMenu);
}

void CLevelBar::paintEvent(QPaintEvent* event) {
    QScrollBar::paintEvent(event);
    if (hasFocus()) {
        QPainter painter(this);
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = rect().adjusted(1, 1, -1, -1);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, this);
        // A plain dotted outline as well: not every style draws a focus frame around a scroll bar.
        painter.setPen(QPen(palette().color(QPalette::Highlight), 1, Qt::DotLine));
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}

void CLevelBar::keyPressEvent(QKeyEvent* event) {
    // A scroll bar inverts its keys (Left would step right); a slider steps the way its arrow points.
    if (event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier) {
        switch (event->key()) {
        case Qt::Key_Left:
        case Qt::Key_Down:
            triggerAction(SliderSingleStepSub);
            return;
        case Qt::Key_Right:
        case Qt::Key_Up:
            triggerAction(SliderSingleStepAdd);
            return;
        default:
            break;
        }
    }
    QScrollBar::keyPressEvent(event);
}

void CLevelBar::mouseReleaseEvent(QMouseEvent* event) {
    QScrollBar::mouseReleaseEvent(event);
    emit burstEnded();
}

void CLevelBar::keyReleaseEvent(QKeyEvent* event) {
    QScrollBar::keyReleaseEvent(event);
    // A held key repeats as press/release pairs marked auto-repeat; the burst ends at the real release.
    if (!event->isAutoRepeat()) {
        emit burstEnded();
    }
}

void CLevelBar::focusOutEvent(QFocusEvent* event) {
    QScrollBar::focusOutEvent(event);
    update();
    emit burstEnded();
}
