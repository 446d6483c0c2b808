#pragma once

#include "Recipe.h"

#include <QDateTime>
#include <QPageSize>
#include <QRectF>
#include <QString>

class QPagedPaintDevice;
class QPainter;

// The printed recipe sheet: one portrait page per camera with a header (the recipe's name, marked when the
// recipe has unsaved changes, when it was printed, the tool's name, and the SHA-256 of the recipe's
// 360-byte .aid image, the journal's hash, which tells one sheet's recipe from another's whatever the name)
// and a table of its 5 positions x 8 channels, each row the level and the 16 steps as filled (lit) and
// empty (dark) squares. The same pages go to a printer, the print preview and a
// PDF file. Lengths are in points (1/72 inch) from the top-left corner of the page's printable area.
class RecipeSheet {
  public:
    static constexpr int kPageCount = Recipe::kCameras;
    // The margins the sheet is laid out for when nobody has chosen others.
    static constexpr qreal kDefaultMarginMm = 15.0;

    // documentName: the file name shown in the header ("Untitled" for a recipe never saved); unsaved: the
    // recipe differs from that file (or was never saved), which the header says.
    RecipeSheet(const Recipe& recipe, QString documentName, bool unsaved, QDateTime printedAt);

    // Paints every page on device, one after the other. False when the device cannot be painted on (an
    // output file that cannot be written, a printer that refuses the job).
    bool Print(QPagedPaintDevice& device) const;
    // Paints camera's page (1..3); page is the printable area's size in points, the painter's unit.
    void PaintPage(QPainter& painter, const QSizeF& page, int camera) const;

    // Where the square of one step is drawn (position and channel 1-based, step 1..16).
    static QRectF StepSquare(const QSizeF& page, int position, int channel, int step);
    // Portrait, the given paper and the default margins.
    static void SetDefaultPageLayout(QPagedPaintDevice& device, QPageSize::PageSizeId paper);

    // The texts of the sheet; translated where the program has a translation installed.
    static QString NotDownloadedNote();
    static QString UnsavedMark();

  private:
    Recipe m_recipe;
    QString m_documentName;
    bool m_unsaved;
    QString m_sha256;
    QDateTime m_printedAt;
};
