#include "ToolbarImages.h"

#include <QFont>
#include <QPainter>
#include <QPainterPath>

namespace {

void DrawPage(QPainter& p, int x, int y, int w, int h) {
    QPainterPath path;
    path.moveTo(x, y);
    path.lineTo(x + w - 4, y);
    path.lineTo(x + w, y + 4);
    path.lineTo(x + w, y + h);
    path.lineTo(x, y + h);
    path.closeSubpath();
    p.setBrush(Qt::white);
    p.setPen(QColor(0, 0, 0));
    p.drawPath(path);
}

void DrawButton(QPainter& p, int index) {
    p.save();
    p.translate(index * kToolbarButtonWidth, 0);
    p.setRenderHint(QPainter::Antialiasing, false);
    switch (index) {
    case 0: // New: a blank page
        DrawPage(p, 5, 2, 11, 15);
        break;
    case 1: // Open: an opening folder
        p.setPen(Qt::black);
        p.setBrush(QColor(255, 255, 0));
        p.drawRect(2, 6, 13, 10);
        p.setBrush(QColor(128, 128, 0));
        p.drawPolygon(QPolygon({QPoint(4, 16), QPoint(7, 9), QPoint(19, 9), QPoint(15, 16)}));
        p.drawLine(12, 3, 16, 3);
        p.drawLine(16, 3, 18, 5);
        break;
    case 2: // Save: a diskette
        p.setPen(Qt::black);
        p.setBrush(QColor(0, 0, 128));
        p.drawRect(3, 2, 14, 15);
        p.setBrush(Qt::white);
        p.drawRect(6, 3, 8, 6);
        p.setBrush(QColor(192, 192, 192));
        p.drawRect(6, 12, 8, 5);
        break;
    case 3: // Cut: scissors
        p.setPen(QPen(Qt::black, 1));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(4, 12, 5, 5);
        p.drawEllipse(11, 12, 5, 5);
        p.drawLine(7, 12, 13, 2);
        p.drawLine(13, 12, 7, 2);
        break;
    case 4: // Copy: two pages
        DrawPage(p, 3, 2, 9, 11);
        DrawPage(p, 8, 6, 9, 11);
        break;
    case 5: // Paste: a clipboard with a page
        p.setPen(Qt::black);
        p.setBrush(QColor(128, 64, 0));
        p.drawRect(3, 3, 11, 14);
        p.setBrush(QColor(192, 192, 192));
        p.drawRect(6, 2, 5, 3);
        DrawPage(p, 9, 7, 8, 11);
        break;
    case 6: // Print: a printer
        p.setPen(Qt::black);
        p.setBrush(Qt::white);
        p.drawRect(6, 2, 9, 6);
        p.setBrush(QColor(192, 192, 192));
        p.drawRect(2, 8, 17, 7);
        p.setBrush(Qt::white);
        p.drawRect(5, 13, 11, 5);
        break;
    case 7: { // About: a question mark
        QFont f;
        f.setPixelSize(16);
        f.setBold(true);
        p.setFont(f);
        p.setPen(QColor(0, 0, 128));
        p.drawText(QRect(0, 0, kToolbarButtonWidth, kToolbarButtonHeight), Qt::AlignCenter,
                   QStringLiteral("?"));
        break;
    }
    case 8:
    case 9: { // "Off" in blue, "ON" in red
        QFont f;
        f.setPixelSize(index == 8 ? 10 : 11);
        f.setBold(true);
        p.setFont(f);
        p.setPen(index == 8 ? QColor(0, 0, 255) : QColor(255, 0, 0));
        p.drawText(QRect(0, 0, kToolbarButtonWidth, kToolbarButtonHeight), Qt::AlignCenter,
                   index == 8 ? QStringLiteral("Off") : QStringLiteral("ON"));
        break;
    }
    default:
        break;
    }
    p.restore();
}

} // namespace

QPixmap ToolbarStrip() {
    QPixmap strip(kToolbarButtonWidth * kToolbarButtonCount, kToolbarButtonHeight);
    strip.fill(Qt::transparent);
    QPainter p(&strip);
    for (int i = 0; i < kToolbarButtonCount; ++i) {
        DrawButton(p, i);
    }
    return strip;
}

QIcon ToolbarIcon(int index) {
    static const QPixmap strip = ToolbarStrip();
    return QIcon(strip.copy(index * kToolbarButtonWidth, 0, kToolbarButtonWidth, kToolbarButtonHeight));
}

QPixmap ProgramPixmap(int size) {
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(30, 30, 30));
    p.drawRoundedRect(QRectF(0, 0, size, size), size / 8.0, size / 8.0);
    const double cell = size / 4.0;
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            const bool lit = (r + c) % 2 == 0;
            p.setBrush(lit ? QColor(255, 0, 0) : QColor(90, 0, 0));
            p.drawEllipse(
                QRectF(cell * 0.5 + c * cell * 1.0, cell * 0.5 + r * cell * 1.0, cell * 0.8, cell * 0.8));
        }
    }
    return pm;
}

QIcon ProgramIcon() {
    QIcon icon;
    for (int size : {16, 32, 48, 64}) {
        icon.addPixmap(ProgramPixmap(size));
    }
    return icon;
}
