#pragma once

#include "CViewBase.h"

#include <QColor>
#include <QWidget>

#include <cstdint>

class CKAVODoc;
class CRecipeEditor;

// The pattern view: the on/off masks of the current camera and position as 8 channel rows of
// m_stepCount cells, red where lit and black where dark. A left click toggles one cell. It tells the
// frame its status texts through signals; it knows nothing of the status bar.
class CMYView1 : public QWidget, public CViewBase {
    Q_OBJECT

  public:
    explicit CMYView1(QWidget* parent = nullptr);
    ~CMYView1() override;

    CKAVODoc* GetDocument() const;
    // Toggles go through the editor's history; without one they go to the document directly.
    void SetEditor(CRecipeEditor* editor) { m_editor = editor; }

    // The keyboard's cell (channel row 1..8, step 1..m_stepCount): the arrow keys move it, Space toggles
    // it, a click puts it where it toggled. Outlined while the view has the focus.
    int FocusChannel() const { return m_focusChannel; }
    int FocusStep() const { return m_focusStep; }

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
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

  private:
    void Toggle(int channel, int step);
    void OnDraw(QPainter& dc);
    void OnMouseMove(QPoint point);
    void OnLButtonDown(QPoint point);

    CRecipeEditor* m_editor = nullptr;
    int m_focusChannel = 1;
    int m_focusStep = 1;
};
