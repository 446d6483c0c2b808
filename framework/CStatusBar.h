#pragma once

#include "CommandIds.h"

#include <QStatusBar>

#include <vector>

class QLabel;

// A status bar of fixed panes. Pane 0 is the message pane and stretches; the others have a width
// of their own. Views find it under the main window and write pane texts by index.
class CStatusBar : public QStatusBar {
    Q_OBJECT

  public:
    explicit CStatusBar(QWidget* parent = nullptr);

    // One pane per id; 0 (ID_SEPARATOR) is the message pane. A pane's first text is the id's
    // string, its width that of the text.
    bool SetIndicators(const std::vector<UINT>& ids);
    // Changes a pane's id and width in pixels.
    void SetPaneInfo(int index, UINT id, int width);

    int GetPaneCount() const { return static_cast<int>(m_panes.size()); }
    UINT GetItemID(int index) const;
    QString GetPaneText(int index) const;
    void SetPaneText(int index, const QString& text);
    int GetPaneWidth(int index) const;
    // The width a pane needs to show text whole, in its own font and frame.
    int PaneWidthFor(int index, const QString& text) const;
    QLabel* Pane(int index) const;

  private:
    struct PaneInfo {
        UINT id;
        QLabel* label;
    };
    std::vector<PaneInfo> m_panes;
};
