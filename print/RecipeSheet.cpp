#include "RecipeSheet.h"

#include "DownloadJournal.h"

#include <QCoreApplication>
#include <QFont>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPagedPaintDevice>
#include <QPainter>

#include <algorithm>

namespace {

// The tool's name as the About box gives it.
const char* const kToolName = "KAVO V1.00";

// Vertical layout, in points: the header (name, date and tool, the recipe's hash, a rule, the camera), then
// the five position blocks, then the note at the foot of the page.
constexpr qreal kHeaderHeight = 80.0;
constexpr qreal kFooterHeight = 18.0;
// A block: its title row, the column heads, one row per channel; blocks are apart by a fraction of a row.
constexpr int kRowsPerBlock = 2 + Recipe::kChannels;
constexpr qreal kBlockGapRows = 0.6;
constexpr qreal kMaxRowHeight = 14.0;
// Horizontal layout: channel name, level, then the 16 step cells.
constexpr qreal kChannelColumn = 56.0;
constexpr qreal kLevelColumn = 40.0;
constexpr qreal kStepsLeft = kChannelColumn + kLevelColumn;
constexpr qreal kSquareFill = 0.72; // share of the smaller of cell width and row height

qreal RowHeight(const QSizeF& page) {
    const qreal rows = Recipe::kPositions * kRowsPerBlock + (Recipe::kPositions - 1) * kBlockGapRows;
    return std::min(kMaxRowHeight, (page.height() - kHeaderHeight - kFooterHeight) / rows);
}

qreal CellWidth(const QSizeF& page) {
    return std::min((page.width() - kStepsLeft) / Recipe::kSteps, 2.0 * RowHeight(page));
}

// Top of row `row` (0: title, 1: column heads, 2..: channels) of position block `position` (1-based).
qreal RowTop(const QSizeF& page, int position, int row) {
    const qreal h = RowHeight(page);
    return kHeaderHeight + (position - 1) * (kRowsPerBlock + kBlockGapRows) * h + row * h;
}

QFont SheetFont(qreal pixelSize, bool bold = false, bool italic = false) {
    QFont font;
    // Pixels are points here: the painter is scaled to points.
    font.setPixelSize(std::max(1, qRound(pixelSize)));
    font.setBold(bold);
    font.setItalic(italic);
    // No ligatures: a file name like "fixture.aid" stays the letters it is made of for anyone who searches or
    // copies the PDF's text.
    font.setStyleStrategy(QFont::PreferNoShaping);
    return font;
}

} // namespace

RecipeSheet::RecipeSheet(const Recipe& recipe, QString documentName, bool unsaved, QDateTime printedAt)
    : m_recipe(recipe), m_documentName(std::move(documentName)), m_unsaved(unsaved),
      m_sha256(RecipeImageSha256(recipe)), m_printedAt(std::move(printedAt)) {}

QString RecipeSheet::UnsavedMark() {
    return QCoreApplication::translate("RecipeSheet", "Unsaved changes");
}

QString RecipeSheet::NotDownloadedNote() {
    return QCoreApplication::translate(
        "RecipeSheet", "Position 5 is kept in the file but not downloaded to the controller.");
}

void RecipeSheet::SetDefaultPageLayout(QPagedPaintDevice& device, QPageSize::PageSizeId paper) {
    device.setPageLayout(
        QPageLayout(QPageSize(paper), QPageLayout::Portrait,
                    QMarginsF(kDefaultMarginMm, kDefaultMarginMm, kDefaultMarginMm, kDefaultMarginMm),
                    QPageLayout::Millimeter));
}

QRectF RecipeSheet::StepSquare(const QSizeF& page, int position, int channel, int step) {
    const qreal h = RowHeight(page);
    const qreal w = CellWidth(page);
    const qreal side = std::min(w, h) * kSquareFill;
    const QRectF cell(kStepsLeft + (step - 1) * w, RowTop(page, position, 1 + channel), w, h);
    return QRectF(cell.center().x() - side / 2, cell.center().y() - side / 2, side, side);
}

bool RecipeSheet::Print(QPagedPaintDevice& device) const {
    QPainter painter;
    if (!painter.begin(&device)) {
        return false;
    }
    // The painter starts at the printable area's corner in device pixels; the sheet is laid out in points.
    const QSizeF page = device.pageLayout().paintRect(QPageLayout::Point).size();
    const qreal scaleX = device.logicalDpiX() / 72.0;
    const qreal scaleY = device.logicalDpiY() / 72.0;
    for (int camera = 1; camera <= kPageCount; ++camera) {
        if (camera > 1 && !device.newPage()) {
            painter.end();
            return false;
        }
        painter.save();
        painter.scale(scaleX, scaleY);
        PaintPage(painter, page, camera);
        painter.restore();
    }
    return painter.end();
}

void RecipeSheet::PaintPage(QPainter& painter, const QSizeF& page, int camera) const {
    painter.setRenderHint(QPainter::Antialiasing, false);
    const qreal width = page.width();
    const QColor ink(Qt::black);
    painter.setPen(ink);

    // Header: the recipe's name (and the mark of unsaved changes at the right), then the date and the tool,
    // the recipe's hash, a rule, then the camera of this page.
    qreal nameWidth = width;
    if (m_unsaved) {
        const QFont markFont = SheetFont(12, true);
        painter.setFont(markFont);
        painter.drawText(QRectF(0, 0, width, 22), Qt::AlignRight | Qt::AlignVCenter, UnsavedMark());
        nameWidth -= QFontMetricsF(markFont).horizontalAdvance(UnsavedMark()) + 12;
    }
    const QFont nameFont = SheetFont(16, true);
    painter.setFont(nameFont);
    painter.drawText(QRectF(0, 0, nameWidth, 22), Qt::AlignLeft | Qt::AlignVCenter,
                     QFontMetricsF(nameFont).elidedText(m_documentName, Qt::ElideMiddle, nameWidth));
    painter.setFont(SheetFont(9));
    painter.drawText(QRectF(0, 22, width, 14), Qt::AlignLeft | Qt::AlignVCenter,
                     QCoreApplication::translate("RecipeSheet", "Printed %1")
                         .arg(m_printedAt.toString(QStringLiteral("yyyy-MM-dd HH:mm"))));
    painter.drawText(QRectF(0, 22, width, 14), Qt::AlignRight | Qt::AlignVCenter,
                     QString::fromLatin1(kToolName));
    painter.setFont(SheetFont(8));
    painter.drawText(
        QRectF(0, 36, width, 12), Qt::AlignLeft | Qt::AlignVCenter,
        QCoreApplication::translate("RecipeSheet", "SHA-256 of the file image: %1").arg(m_sha256));
    painter.setPen(QPen(ink, 0.8));
    painter.drawLine(QPointF(0, 51), QPointF(width, 51));
    painter.setFont(SheetFont(13, true));
    painter.drawText(QRectF(0, 54, width, 20), Qt::AlignLeft | Qt::AlignVCenter,
                     QCoreApplication::translate("RecipeSheet", "Camera %1").arg(camera));
    painter.setFont(SheetFont(9));
    painter.drawText(QRectF(0, 54, width, 20), Qt::AlignRight | Qt::AlignVCenter,
                     QCoreApplication::translate("RecipeSheet", "Page %1 of %2").arg(camera).arg(kPageCount));

    const qreal h = RowHeight(page);
    const qreal cellW = CellWidth(page);
    const QFont body = SheetFont(h * 0.62);
    const QFont bold = SheetFont(h * 0.66, true);
    const QFont italic = SheetFont(h * 0.58, false, true);
    const auto ci = static_cast<std::size_t>(camera - 1);
    for (int p = 1; p <= Recipe::kPositions; ++p) {
        const auto pi = static_cast<std::size_t>(p - 1);
        painter.setPen(ink);
        painter.setFont(bold);
        const QString title = QCoreApplication::translate("RecipeSheet", "Position %1").arg(p);
        const QRectF titleRow(0, RowTop(page, p, 0), width, h);
        painter.drawText(titleRow, Qt::AlignLeft | Qt::AlignVCenter, title);
        if (p == Recipe::kPositions) {
            const qreal after = QFontMetricsF(bold).horizontalAdvance(title) + h;
            painter.setFont(italic);
            painter.drawText(
                titleRow.adjusted(after, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter,
                QCoreApplication::translate("RecipeSheet", "(kept in the file, not downloaded)"));
        }

        const qreal headTop = RowTop(page, p, 1);
        painter.setFont(italic);
        painter.drawText(QRectF(0, headTop, kChannelColumn, h), Qt::AlignLeft | Qt::AlignVCenter,
                         QCoreApplication::translate("RecipeSheet", "Channel"));
        painter.drawText(QRectF(kChannelColumn, headTop, kLevelColumn - 8, h),
                         Qt::AlignRight | Qt::AlignVCenter,
                         QCoreApplication::translate("RecipeSheet", "Level"));
        for (int s = 1; s <= Recipe::kSteps; ++s) {
            painter.drawText(QRectF(kStepsLeft + (s - 1) * cellW, headTop, cellW, h), Qt::AlignCenter,
                             QString::number(s));
        }
        painter.setPen(QPen(QColor(128, 128, 128), 0.5));
        painter.drawLine(QPointF(0, headTop + h), QPointF(kStepsLeft + Recipe::kSteps * cellW, headTop + h));

        painter.setFont(body);
        for (int k = 1; k <= Recipe::kChannels; ++k) {
            const auto ki = static_cast<std::size_t>(k - 1);
            const qreal top = RowTop(page, p, 1 + k);
            painter.setPen(ink);
            // Channels are numbered across the cameras, as the pattern view labels them.
            painter.drawText(QRectF(0, top, kChannelColumn, h), Qt::AlignLeft | Qt::AlignVCenter,
                             QStringLiteral("CH%1").arg((camera - 1) * Recipe::kChannels + k));
            painter.drawText(QRectF(kChannelColumn, top, kLevelColumn - 8, h),
                             Qt::AlignRight | Qt::AlignVCenter,
                             QString::number(m_recipe.m_levels[ci][pi][ki]));
            const std::uint16_t mask = m_recipe.m_stepMasks[ci][pi][ki];
            painter.setPen(QPen(ink, 0.6));
            for (int s = 1; s <= Recipe::kSteps; ++s) {
                const QRectF square = StepSquare(page, p, k, s);
                if (((mask >> (s - 1)) & 1U) != 0) {
                    painter.fillRect(square, ink);
                } else {
                    painter.setBrush(Qt::NoBrush);
                    painter.drawRect(square);
                }
            }
        }
    }

    painter.setPen(ink);
    painter.setFont(SheetFont(9, false, true));
    painter.drawText(QRectF(0, page.height() - kFooterHeight, width, kFooterHeight),
                     Qt::AlignLeft | Qt::AlignVCenter, NotDownloadedNote());
}
