#include "CLevelEdit.h"

#include <QKeyEvent>
#include <QTimer>
#include <QToolTip>

CLevelEdit::CLevelEdit(const QString& text, QWidget* parent) : QLineEdit(text, parent) {
    setFrame(false);
    setTextMargins(0, 0, 0, 0);
    setContentsMargins(0, 0, 0, 0);
    setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    setMaxLength(8);
    setFocusPolicy(Qt::StrongFocus);
    ShowState();
    setToolTip(
        tr("Type a level from 1 to 255; Enter or leaving the field takes it, Escape keeps the level."));
    connect(this, &QLineEdit::textEdited, this, [this] { SetRefused(false); });
}

void CLevelEdit::SetLevel(int level) {
    m_level = level;
    SetRefused(false);
    setText(QString::number(level));
}

void CLevelEdit::SetRefused(bool refused) {
    if (m_refused == refused) {
        return;
    }
    m_refused = refused;
    ShowState();
}

// It reads as the label it replaces until it is being typed in (white), and a refused entry turns red. The
// colours are the palette's: a style sheet of its own on each of the eight fields made the form's start cost
// more than all its other controls, and it kept the field out of the form's font.
void CLevelEdit::ShowState() {
    QPalette colours = palette();
    if (m_refused) {
        colours.setColor(QPalette::Base, QColor(0xff, 0x90, 0x90));
        colours.setColor(QPalette::Text, Qt::black);
    } else if (hasFocus()) {
        colours.setColor(QPalette::Base, Qt::white);
        colours.setColor(QPalette::Text, Qt::black);
    } else {
        // On the form's own background it is written as a label is.
        colours.setColor(QPalette::Base, Qt::transparent);
        colours.setColor(QPalette::Text, colours.color(QPalette::WindowText));
    }
    setPalette(colours);
    update();
}

void CLevelEdit::focusInEvent(QFocusEvent* event) {
    QLineEdit::focusInEvent(event);
    ShowState();
}

void CLevelEdit::ShowTip() {
    QToolTip::showText(mapToGlobal(QPoint(0, height())), toolTip(), this);
}

void CLevelEdit::Take(bool leaving) {
    const QString typed = text().trimmed();
    if (typed == QString::number(m_level)) {
        setText(typed);
        return;
    }
    bool isNumber = false;
    const int level = typed.toInt(&isNumber, 10);
    if (!isNumber || level < kMin || level > kMax) {
        if (leaving) {
            SetLevel(m_level);
            // Once the focus has arrived where it goes: a tip hides at any focus change.
            QTimer::singleShot(0, this, [this] { ShowTip(); });
        } else {
            SetRefused(true);
            selectAll();
            ShowTip();
        }
        return;
    }
    setText(QString::number(level));
    if (level != m_level) {
        emit levelEntered(level);
    }
}

void CLevelEdit::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        Take(false);
        return;
    case Qt::Key_Escape:
        SetLevel(m_level);
        selectAll();
        return;
    default:
        QLineEdit::keyPressEvent(event);
    }
}

void CLevelEdit::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    ShowState();
    // A menu or another window taking the focus for a moment leaves the typing as it is.
    if (event->reason() != Qt::PopupFocusReason && event->reason() != Qt::ActiveWindowFocusReason) {
        Take(true);
    }
}
