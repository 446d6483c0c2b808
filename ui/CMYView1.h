#pragma once

#include "CViewBase.h"

#include <QColor>
#include <QWidget>

#include <cstdint>

class CKAVODoc;

// The pattern view: the on/off masks of the current camera and position as 8 channel rows of
// m_stepCount cells, red where lit and black where dark. A left click toggles one cell. It tells the
// frame its status texts through signals; it knows nothing of the status bar.
class CMYView1 : public QWidget, public CViewBase {
    Q_OBJECT

  public:
    explicit CMYView1(QWidget* parent = nullptr);
    ~CMYView1() override;

    CKAVODoc* GetDocument() const;

    void OnUpdate(CViewBase* sender, long hint) override;

    // The hit test of a click: the channel row (1..8) and step (1..m_stepCount) of the cell under
    // (x, y), or false for a point outside every cell.
    bool HitTest(int x, int y, int* channel, int* step) const;

    // Grid geometry in pixels.
    std::uint8_t m_gridLeft = 60;
    std::uint8_t m_gridTop = 80;
    std::uint16_t m_drawX = 50;
    std::uint16_t m_drawY = 50;
    std::uint16_t m_cellWidth = 25;
    std::uint16_t m_cellHeight = 25;
    std::uint16_t m_gapX = 30;
    std::uint16_t m_gapY = 60;
    std::uint16_t m_stepLabelX = 0;
    std::uint16_t m_stepLabelY = 0;
    QColor m_offColor = QColor(0, 0, 0);
    QColor m_onColor = QColor(255, 0, 0);

  signals:
    // Status texts for the frame to show: the channel and step counts on every paint (with a
    // document), the mouse position on every move.
    void channelCountText(const QString& text);
    void stepCountText(const QString& text);
    void mousePositionText(const QString& text);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

  private:
    void OnDraw(QPainter& dc);
    void OnMouseMove(QPoint point);
    void OnLButtonDown(QPoint point);
};
