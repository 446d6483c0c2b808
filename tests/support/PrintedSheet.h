#pragma once

// Reading a printed recipe sheet back from its PDF with poppler's tools (pdfinfo, pdftotext, pdftoppm), and a
// fixture recipe whose every value is known. Header only; needs Qt Gui (QImage) and kavo_print.
#include "Recipe.h"
#include "RecipeSheet.h"

#include <QByteArray>
#include <QDir>
#include <QImage>
#include <QPageLayout>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>
#include <QTemporaryDir>

#include <bit>

namespace printed_sheet {

// A recipe in which every level and mask differs: level 10 + 50*camera + 8*position + channel (all 0-based),
// and masks whose lit steps vary in number from cell to cell (0x0000 and 0xFFFF among them).
inline Recipe Fixture() {
    Recipe r;
    for (int c = 0; c < Recipe::kCameras; ++c) {
        for (int p = 0; p < Recipe::kPositions; ++p) {
            for (int k = 0; k < Recipe::kChannels; ++k) {
                const auto ci = static_cast<std::size_t>(c);
                const auto pi = static_cast<std::size_t>(p);
                const auto ki = static_cast<std::size_t>(k);
                r.m_levels[ci][pi][ki] = static_cast<std::uint8_t>(10 + 50 * c + 8 * p + k);
                const int n = (c * 40 + p * 8 + k) % 17; // 0..16 lit steps
                const unsigned rotate = static_cast<unsigned>(c + p + k) % 16;
                const std::uint32_t ones = n == 16 ? 0xFFFFu : ((1u << n) - 1u);
                r.m_stepMasks[ci][pi][ki] =
                    static_cast<std::uint16_t>(((ones << rotate) | (ones >> (16 - rotate))) & 0xFFFFu);
            }
        }
    }
    return r;
}

// The 360 bytes of r as a .aid file: the 120 masks little-endian, then the 120 levels.
inline QByteArray FileBytes(const Recipe& r) {
    QByteArray bytes;
    for (const auto& camera : r.m_stepMasks) {
        for (const auto& position : camera) {
            for (std::uint16_t mask : position) {
                bytes.append(static_cast<char>(mask & 0xFF));
                bytes.append(static_cast<char>(mask >> 8));
            }
        }
    }
    for (const auto& camera : r.m_levels) {
        for (const auto& position : camera) {
            for (std::uint8_t level : position) {
                bytes.append(static_cast<char>(level));
            }
        }
    }
    return bytes;
}

inline int LitSteps(const Recipe& r, int camera) {
    int n = 0;
    for (const auto& position : r.m_stepMasks[static_cast<std::size_t>(camera - 1)]) {
        for (std::uint16_t mask : position) {
            n += std::popcount(mask);
        }
    }
    return n;
}

// A poppler tool's standard output; empty when it fails.
inline QString Run(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        return {};
    }
    return QString::fromUtf8(p.readAllStandardOutput());
}

inline int PageCount(const QString& pdf) {
    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral("^Pages:\\s+(\\d+)"), QRegularExpression::MultilineOption)
            .match(Run(QStringLiteral("pdfinfo"), {pdf}));
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

// The page's size as pdfinfo gives it, in points ("595 x 842").
inline QString PageSizeText(const QString& pdf) {
    const QRegularExpressionMatch m = QRegularExpression(QStringLiteral("^Page size:\\s+([\\d.]+ x [\\d.]+)"),
                                                         QRegularExpression::MultilineOption)
                                          .match(Run(QStringLiteral("pdfinfo"), {pdf}));
    return m.hasMatch() ? m.captured(1) : QString();
}

// The words of one page (1-based).
inline QStringList Words(const QString& pdf, int page) {
    const QString text =
        Run(QStringLiteral("pdftotext"), {QStringLiteral("-f"), QString::number(page), QStringLiteral("-l"),
                                          QString::number(page), pdf, QStringLiteral("-")});
    return text.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
}

inline QImage Render(const QString& pdf, int page, int dpi, const QTemporaryDir& dir) {
    const QString prefix = dir.filePath(QStringLiteral("page%1").arg(page));
    Run(QStringLiteral("pdftoppm"),
        {QStringLiteral("-r"), QString::number(dpi), QStringLiteral("-f"), QString::number(page),
         QStringLiteral("-l"), QString::number(page), QStringLiteral("-singlefile"), QStringLiteral("-gray"),
         QStringLiteral("-png"), pdf, prefix});
    return QImage(prefix + QStringLiteral(".png"));
}

// For one rendered page of the sheet laid out on `layout`: the step squares whose middle is dark, as masks
// [position][channel]. Compared with the recipe's masks this checks every square of the page.
struct PageSquares {
    std::array<std::array<std::uint16_t, Recipe::kChannels>, Recipe::kPositions> masks{};
    int filled = 0;
};

inline PageSquares ReadSquares(const QImage& image, const QPageLayout& layout, int dpi) {
    PageSquares out;
    const QRectF printable = layout.paintRect(QPageLayout::Point);
    const qreal scale = dpi / 72.0;
    for (int p = 1; p <= Recipe::kPositions; ++p) {
        for (int k = 1; k <= Recipe::kChannels; ++k) {
            for (int s = 1; s <= Recipe::kSteps; ++s) {
                const QPointF middle =
                    (RecipeSheet::StepSquare(printable.size(), p, k, s).center() + printable.topLeft()) *
                    scale;
                if (qGray(image.pixel(middle.toPoint())) < 128) {
                    out.masks[static_cast<std::size_t>(p - 1)][static_cast<std::size_t>(k - 1)] |=
                        static_cast<std::uint16_t>(1u << (s - 1));
                    ++out.filled;
                }
            }
        }
    }
    return out;
}

} // namespace printed_sheet
