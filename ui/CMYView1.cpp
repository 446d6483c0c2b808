#include "CMYView1.h"

#include "CKAVODoc.h"
#include "CRecipeEditor.h"

#include <QKeyEvent>

#include <QMouseEvent>
#include <QPainter>

namespace {
// The masks hold 16 steps; a larger step count never draws or toggles past them.
constexpr int kMaxSteps = 16;
// The grid has one row per channel.
constexpr unsigned kRows = 8;

// The 1-based cell along one axis of the grid that holds pos: count cells of `size` pixels, `gap` pixels
// apart, the first at origin. 0 where pos lies outside the cells or on a gap.
int CellAlong(unsigned pos, unsigned origin, unsigned size, unsigned gap, unsigned count) {
    if (count == 0 || pos < origin || pos > origin + (count - 1) * gap + count * size) {
        return 0;
    }
    int index = 1;
    while (pos > origin + size + gap - 1) {
        pos -= size + gap;
        ++index;
    }
    return pos > origin + size ? 0 : index;
}
} // namespace

CMYView1::CMYView1(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);
    setFocusPolicy(Qt::StrongFocus);
}

CMYView1::~CMYView1() = default;

CKAVODoc* CMYView1::GetDocument() const {
    return static_cast<CKAVODoc*>(CViewBase::GetDocument());
}

void CMYView1::OnUpdate(CViewBase*, long) {
    update();
}

void CMYView1::paintEvent(QPaintEvent*) {
    QPainter dc(this);
    OnDraw(dc);
}

void CMYView1::OnDraw(QPainter& dc) {
    CKAVODoc* doc = GetDocument();
    if (doc == nullptr) {
        return;
    }
    emit channelCountText(tr(" CH = %1").arg(8));
    emit stepCountText(tr(" Step = %1").arg(doc->GetStepCount()));
    // Text with the top-left corner at the given point, black on an opaque white background.
    dc.setBackgroundMode(Qt::OpaqueMode);
    dc.setBackground(Qt::white);
    dc.setPen(Qt::black);
    const QFontMetrics fm(dc.font());
    auto textOut = [&](int x, int y, const QString& text) { dc.drawText(x, y + fm.ascent(), text); };

    textOut(10, 10, tr("Current Camera is: %1").arg(doc->GetCurCamera()));
    textOut(200, 10, tr("Current Position is: %1").arg(doc->GetCurPosition()));

    m_drawX = 10;
    m_drawY = m_gridTop;
    for (int i = 0; i < 8; ++i) {
        textOut(m_drawX, m_drawY, QString::asprintf("CH%d", doc->GetCurCamera() * 8 - 7 + i));
        m_drawY += 25;
    }
    const int steps = std::min<int>(doc->GetStepCount(), kMaxSteps);
    m_stepLabelY = static_cast<std::uint16_t>(m_gridTop - 30);
    m_stepLabelX = m_gridLeft;
    for (int n = 1; n <= steps; ++n) {
        textOut(m_stepLabelX, m_stepLabelY, QString::asprintf("%d", n));
        m_stepLabelX += 25;
    }

    m_drawX = m_gridLeft;
    m_drawY = m_gridTop;
    m_cellWidth = 20;
    m_cellHeight = 20;
    m_gapX = 5;
    m_gapY = 5;

    // Outside the invariants (camera 1..3, position 1..5) there is nothing to show.
    if (doc->GetCurCamera() < 1 || doc->GetCurCamera() > CKAVODoc::kCameras || doc->GetCurPosition() < 1 ||
        doc->GetCurPosition() > CKAVODoc::kPositions) {
        return;
    }
    const CKAVODoc::ChannelMasks& masks = doc->CurrentMasks();
    dc.setPen(Qt::NoPen);
    for (int r = 0; r < 8; ++r) {
        for (int k = 0; k < steps; ++k) {
            const bool lit = (masks[static_cast<size_t>(r)] >> k) & 1U;
            // The filled rectangle excludes its right and bottom edges and the outline: 19 x 19 pixels.
            dc.fillRect(QRect(m_drawX, m_drawY, m_cellWidth - 1, m_cellHeight - 1),
                        lit ? m_onColor : m_offColor);
            m_drawX += m_gapX + m_cellWidth;
        }
        m_drawY += m_gapY + m_cellHeight;
        m_drawX = 60;
    }
    if (hasFocus() && m_focusStep <= steps) {
        // The keyboard's cell: an outline in the gap around it, in the selection colour.
        const QRect cell(m_gridLeft + (m_cellWidth + m_gapX) * (m_focusStep - 1),
                         m_gridTop + (m_cellHeight + m_gapY) * (m_focusChannel - 1), m_cellWidth - 1,
                         m_cellHeight - 1);
        dc.setPen(QPen(palette().color(QPalette::Highlight), 2));
        dc.setBrush(Qt::NoBrush);
        dc.drawRect(cell.adjusted(-2, -2, 1, 1));
    }
}

void CMYView1::mouseMoveEvent(QMouseEvent* event) {
    OnMouseMove(event->position().toPoint());
}

void CMYView1::OnMouseMove(QPoint point) {
    emit mousePositionText(tr(" x = %1  y = %2").arg(point.x()).arg(point.y()));
}

void CMYView1::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        OnLButtonDown(event->position().toPoint());
    }
}

bool CMYView1::HitTest(int px, int py, int* channel, int* step) const {
    const CKAVODoc* doc = GetDocument();
    // Outside the invariants (camera 1..3, position 1..5) there is no cell to toggle.
    if (doc == nullptr || doc->GetCurCamera() < 1 || doc->GetCurCamera() > CKAVODoc::kCameras ||
        doc->GetCurPosition() < 1 || doc->GetCurPosition() > CKAVODoc::kPositions) {
        return false;
    }
    // Coordinates taken as unsigned 16-bit values: a point left of or above the view wraps far
    // to the right or bottom and misses the grid.
    const unsigned x = static_cast<std::uint16_t>(px);
    const unsigned y = static_cast<std::uint16_t>(py);
    const unsigned n = std::min<unsigned>(doc->GetStepCount(), kMaxSteps);
    const int s = CellAlong(x, m_gridLeft, m_cellWidth, m_gapX, n);
    const int c = CellAlong(y, m_gridTop, m_cellHeight, m_gapY, kRows);
    if (s == 0 || c == 0) {
        return false;
    }
    *channel = c;
    *step = s;
    return true;
}

void CMYView1::OnLButtonDown(QPoint point) {
    CKAVODoc* doc = GetDocument();
    int channel = 0;
    int step = 0;
    if (doc == nullptr || !HitTest(point.x(), point.y(), &channel, &step)) {
        return;
    }
    m_focusChannel = channel;
    m_focusStep = step;
    Toggle(channel, step);
}

void CMYView1::Toggle(int channel, int step) {
    CKAVODoc* doc = GetDocument();
    if (doc == nullptr) {
        return;
    }
    if (m_editor != nullptr) {
        m_editor->ToggleStep(channel, step);
    } else {
        const std::uint16_t mask = doc->CurrentMasks()[static_cast<size_t>(channel - 1)];
        doc->SetMask(doc->GetCurCamera(), doc->GetCurPosition(), channel,
                     static_cast<std::uint16_t>(mask ^ (1U << (step - 1))));
    }
    update();
}

void CMYView1::keyPressEvent(QKeyEvent* event) {
    const CKAVODoc* doc = GetDocument();
    const int steps = doc != nullptr ? std::min<int>(doc->GetStepCount(), kMaxSteps) : 0;
    if (doc == nullptr || steps < 1 || event->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) {
        QWidget::keyPressEvent(event);
        return;
    }
    switch (event->key()) {
    case Qt::Key_Left:
        m_focusStep = std::max(1, m_focusStep - 1);
        break;
    case Qt::Key_Right:
        m_focusStep = std::min(steps, m_focusStep + 1);
        break;
    case Qt::Key_Up:
        m_focusChannel = std::max(1, m_focusChannel - 1);
        break;
    case Qt::Key_Down:
        m_focusChannel = std::min(static_cast<int>(kRows), m_focusChannel + 1);
        break;
    case Qt::Key_Space:
        // Outside the invariants (camera 1..3, position 1..5) there is no cell to toggle.
        if (doc->GetCurCamera() >= 1 && doc->GetCurCamera() <= CKAVODoc::kCameras &&
            doc->GetCurPosition() >= 1 && doc->GetCurPosition() <= CKAVODoc::kPositions) {
            Toggle(m_focusChannel, std::min(m_focusStep, steps));
        }
        break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    update();
}

void CMYView1::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    update();
}

void CMYView1::focusOutEvent(QFocusEvent* event) {
    QWidget::focusOutEvent(event);
    update();
}
