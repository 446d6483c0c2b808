#pragma once

#include <QFont>
#include <QRect>

// Dialog templates are laid out in dialog units: a horizontal unit is a quarter of the font's
// average character width, a vertical unit an eighth of its height. The templates were designed
// for an 8-point dialog font whose base units are 6 x 13 pixels; the default keeps that layout
// whatever font the desktop substitutes, so that the form fits its 500-pixel pane.
class DialogUnits {
  public:
    DialogUnits() = default;
    // Base units measured from a font.
    explicit DialogUnits(const QFont& font);

    int x(int dlu) const;
    int y(int dlu) const;
    QRect rect(int x, int y, int w, int h) const;

    int baseX() const { return m_baseX; }
    int baseY() const { return m_baseY; }

  private:
    int m_baseX = 6;
    int m_baseY = 13;
};

// The 8-point dialog font of the program's templates.
QFont DialogFont();
