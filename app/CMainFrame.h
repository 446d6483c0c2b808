#pragma once

#include "CCmdTarget.h"

#include <QMainWindow>

#include <map>
#include <vector>

struct AppServices;
class CDocument;
class ControllerSession;
class CFormSetup;
class CLockKeyIndicators;
class CMYView1;
class CRecentFileList;
class CRecipeEditor;
class CStatusBar;
class QAction;
class QMenu;
class QSplitter;
class QToolBar;

// The main window: menu, accelerators, toolbar, seven-pane status bar, and a splitter with the
// setup form on the left and the pattern view on the right. It holds no recipe data; commands go
// to the first target in its chain (frame, document, application) that handles them, and a
// command nobody handles is disabled.
class CMainFrame : public QMainWindow, public CCmdTarget {
    Q_OBJECT

  public:
    // The status bar's panes, left to right.
    enum Pane { kPaneMessage, kPaneChannels, kPaneSteps, kPaneMouse, kPaneCaps, kPaneNum, kPaneScroll };

    static constexpr int kLeftPaneWidth = 500;
    static constexpr int kSplitterBorder = 2;
    static constexpr int kSplitterBar = 7;

    // The services go to the panes (the setup form's port table) and to the lock-key panes (the X
    // display). session, shown by the setup form, outlives the frame.
    CMainFrame(CDocument* document, ControllerSession& session, const AppServices& services,
               QWidget* parent = nullptr);
    ~CMainFrame() override;

    // Targets after the frame itself, in routing order.
    void SetCommandChain(std::vector<CCmdTarget*> chain);
    void SetRecentFileList(CRecentFileList* list);

    // Runs a command as the menu, toolbar or accelerator would; false when it is disabled.
    bool RouteCommand(UINT id);
    bool IsCommandEnabled(UINT id) const;
    // Re-evaluates which commands are enabled.
    void UpdateCommandUI();

    QAction* Action(UINT id) const;
    QMenu* FileMenu() const { return m_fileMenu; }
    QToolBar* ToolBar() const { return m_toolBar; }
    CStatusBar* StatusBar() const { return m_statusBar; }
    QSplitter* Splitter() const { return m_splitter; }
    CFormSetup* FormPane() const { return m_form; }
    CMYView1* PatternPane() const { return m_view; }
    const QString& FrameTitle() const { return m_frameTitle; }
    CLockKeyIndicators* LockKeys() const { return m_lockKeys; }
    CRecipeEditor* Editor() const { return m_editor; }
    // The caption as the desktop shows it: "[*]" turned into the modified mark or nothing.
    QString Caption() const;

    // The first size of the window: its preferred size, made to fit the screen's available area.
    static QSize InitialSize(const QRect& available);

    // Files dropped on the window are handed to this callback (the application opens them).
    void SetDropHandler(std::function<void(const QString&)> handler) { m_dropHandler = std::move(handler); }
    // Closing the window asks this first; false keeps the window open.
    void SetCloseQuery(std::function<bool()> query) { m_closeQuery = std::move(query); }

  protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    void OnCreate(const AppServices& services);
    void OnCreateClient(const AppServices& services);
    void CreateMenus();
    void CreateToolBar();
    void CreateStatusBar();
    void CreateAccelerators();
    QAction* MakeAction(UINT id, const QString& text);
    void RebuildRecentFiles();
    void UpdateCaption();
    void UpdateUndoTexts();
    void ShowLockKeys(bool caps, bool num, bool scroll);
    void OnNextPane(int direction);

    CDocument* m_pDocument;
    ControllerSession& m_session;
    QString m_frameTitle;
    QSplitter* m_splitter = nullptr;
    CFormSetup* m_form = nullptr;
    CMYView1* m_view = nullptr;
    CRecipeEditor* m_editor = nullptr;
    QToolBar* m_toolBar = nullptr;
    CStatusBar* m_statusBar = nullptr;
    CLockKeyIndicators* m_lockKeys = nullptr;
    QMenu* m_fileMenu = nullptr;
    QAction* m_recentPlaceholder = nullptr;
    QAction* m_recentSeparator = nullptr;
    std::vector<QAction*> m_recentActions;
    CRecentFileList* m_recentFiles = nullptr;
    std::map<UINT, QAction*> m_actions;
    std::vector<CCmdTarget*> m_chain;
    std::function<void(const QString&)> m_dropHandler;
    std::function<bool()> m_closeQuery;
    // The operator chose to let a running download finish before the program ends.
    bool m_closeWhenDownloadEnds = false;
};
