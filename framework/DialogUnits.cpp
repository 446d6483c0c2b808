#include "DialogUnits.h"

#include <QFontMetrics>
#include <QGuiApplication>

DialogUnits::DialogUnits(const QFont& font) {
    const QFontMetrics fm(font);
    // Average width over the 52 letters, rounded as the classic dialog manager does.
    const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    m_baseX = (fm.horizontalAdvance(letters) / 26 + 1) / 2;
    m_baseY = fm.height();
    if (m_baseX <= 0) {
        m_baseX = 6;
    }
    if (m_baseY <= 0) {
        m_baseY = 13;
    }
}

int DialogUnits::x(int dlu) const {
    return (dlu * m_baseX + 2) / 4;
}

int DialogUnits::y(int dlu) const {
    return (dlu * m_baseY + 4) / 8;
}

QRect DialogUnits::rect(int x0, int y0, int w, int h) const {
    return QRect(x(x0), y(y0), x(w), y(h));
}

QFont DialogFont() {
    QFont font = QGuiApplication::font();
    font.setPointSize(8);
    return font;
}
