#include "CStatusBar.h"

#include "StringTable.h"

#include <QLabel>

CStatusBar::CStatusBar(QWidget* parent) : QStatusBar(parent) {
    setSizeGripEnabled(true);
}

bool CStatusBar::SetIndicators(const std::vector<UINT>& ids) {
    for (PaneInfo& pane : m_panes) {
        removeWidget(pane.label);
        delete pane.label;
    }
    m_panes.clear();
    for (UINT id : ids) {
        auto* label = new QLabel(this);
        if (id == ID_SEPARATOR && m_panes.empty()) {
            // The message pane: stretches, no border.
            label->setFrameStyle(QFrame::NoFrame);
            label->setTextFormat(Qt::PlainText);
            addWidget(label, 1);
        } else {
            label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
            label->setTextFormat(Qt::PlainText);
            label->setText(LoadString(id));
            label->setFixedWidth(label->sizeHint().width() + 8);
            addPermanentWidget(label, 0);
        }
        m_panes.push_back({id, label});
    }
    return true;
}

void CStatusBar::SetPaneInfo(int index, UINT id, int width) {
    if (index < 0 || index >= GetPaneCount()) {
        return;
    }
    m_panes[static_cast<size_t>(index)].id = id;
    if (index > 0) {
        m_panes[static_cast<size_t>(index)].label->setFixedWidth(width);
    }
}

UINT CStatusBar::GetItemID(int index) const {
    return index >= 0 && index < GetPaneCount() ? m_panes[static_cast<size_t>(index)].id : 0;
}

QString CStatusBar::GetPaneText(int index) const {
    return index >= 0 && index < GetPaneCount() ? m_panes[static_cast<size_t>(index)].label->text()
                                                : QString();
}

void CStatusBar::SetPaneText(int index, const QString& text) {
    if (index >= 0 && index < GetPaneCount()) {
        QLabel* label = m_panes[static_cast<size_t>(index)].label;
        if (label->text() != text) {
            label->setText(text);
        }
    }
}

int CStatusBar::GetPaneWidth(int index) const {
    return index >= 0 && index < GetPaneCount() ? m_panes[static_cast<size_t>(index)].label->width() : 0;
}

QLabel* CStatusBar::Pane(int index) const {
    return index >= 0 && index < GetPaneCount() ? m_panes[static_cast<size_t>(index)].label : nullptr;
}

int CStatusBar::PaneWidthFor(int index, const QString& text) const {
    const QLabel* pane = Pane(index);
    if (pane == nullptr) {
        return 0;
    }
    // Laid out as the pane itself would lay it out: same font, frame, margin and indent.
    QLabel probe;
    probe.setFont(pane->font());
    probe.setFrameStyle(pane->frameStyle());
    probe.setMargin(pane->margin());
    probe.setIndent(pane->indent());
    probe.setTextFormat(Qt::PlainText);
    probe.setText(text);
    return probe.sizeHint().width();
}
