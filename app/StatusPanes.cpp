#include "StatusPanes.h"

#include "CLockKeyIndicators.h"
#include "CMYView1.h"
#include "CStatusBar.h"
#include "StringTable.h"

#include <QMainWindow>

#include <algorithm>

StatusPanes::StatusPanes(QMainWindow* window, const QString& lockKeyDisplay)
    : QObject(window), m_bar(new CStatusBar(window)) {
    m_bar->setObjectName(QStringLiteral("statusbar"));
    window->setStatusBar(m_bar);
    m_bar->SetIndicators({ID_SEPARATOR, ID_INDICATOR_CH, ID_INDICATOR_STEP, ID_INDICATOR_COORD,
                          ID_INDICATOR_CAPS, ID_INDICATOR_NUM, ID_INDICATOR_SCRL});
    m_bar->SetPaneInfo(kChannels, 0, 80);
    m_bar->SetPaneInfo(kSteps, 0, 80);
    // The mouse pane holds its whole text in the pane's font, up to four-digit coordinates (the grid
    // alone reaches " x = 455  y = 275"); never narrower than its 100 pixels.
    m_bar->SetPaneInfo(kMouse, 0,
                       std::max(100, m_bar->PaneWidthFor(kMouse, QStringLiteral(" x = 8888  y = 8888"))));
    // The panes' widths do not hold the window wide: a narrow window cuts the last panes off instead.
    m_bar->setMinimumWidth(1);
    m_bar->SetPaneText(kMessage, LoadString(AFX_IDS_IDLEMESSAGE));

    // The lock-key panes follow the keyboard's lights where the X server reports them; blank elsewhere.
    m_lockKeys = new CLockKeyIndicators(lockKeyDisplay, this);
    connect(m_lockKeys, &CLockKeyIndicators::changed, this, &StatusPanes::ShowLockKeys);
    ShowLockKeys(m_lockKeys->IsLit(CLockKeyIndicators::Caps), m_lockKeys->IsLit(CLockKeyIndicators::Num),
                 m_lockKeys->IsLit(CLockKeyIndicators::Scroll));
}

void StatusPanes::Follow(CMYView1* view) {
    connect(view, &CMYView1::channelCountText, this,
            [this](const QString& text) { m_bar->SetPaneText(kChannels, text); });
    connect(view, &CMYView1::stepCountText, this,
            [this](const QString& text) { m_bar->SetPaneText(kSteps, text); });
    connect(view, &CMYView1::mousePositionText, this,
            [this](const QString& text) { m_bar->SetPaneText(kMouse, text); });
}

void StatusPanes::ShowPrompt(const QString& prompt) {
    m_bar->SetPaneText(kMessage, prompt.isEmpty() ? LoadString(AFX_IDS_IDLEMESSAGE) : prompt);
}

void StatusPanes::ShowMessage(const QString& text) {
    m_bar->SetPaneText(kMessage, text);
}

void StatusPanes::WithdrawMessage(const QString& text) {
    if (m_bar->GetPaneText(kMessage) == text) {
        ShowPrompt(QString());
    }
}

void StatusPanes::ShowLockKeys(bool caps, bool num, bool scroll) {
    m_bar->SetPaneText(kCaps, caps ? LoadString(ID_INDICATOR_CAPS) : QString());
    m_bar->SetPaneText(kNum, num ? LoadString(ID_INDICATOR_NUM) : QString());
    m_bar->SetPaneText(kScroll, scroll ? LoadString(ID_INDICATOR_SCRL) : QString());
}
