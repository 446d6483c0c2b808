#pragma once

#include "CCmdTarget.h"

#include <QMainWindow>

#include <functional>
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
class CloseGuard;
class CommandActions;
class QAction;
class QMenu;
class QSplitter;
class QToolBar;
class RecentFilesMenu;
class StatusPanes;

// The main window: menu bar, toolbar and status bar around a splitter with the setup form on the left and
// the pattern view on the right; files dropped on it, and its closing. It holds no recipe data. Its
// commands are actions (CommandActions) that go to the first target in its chain (frame, editor, document,
// application) that handles them; the frame itself handles the View toggles and F6.
class CMainFrame : public QMainWindow, public CCmdTarget {
    Q_OBJECT

  public:
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

    // Runs a command as the menu, toolbar or key would; false when it is disabled.
    bool RouteCommand(UINT id);
    bool IsCommandEnabled(UINT id) const;

    QAction* Action(UINT id) const;
    QMenu* FileMenu() const { return m_fileMenu; }
    QToolBar* ToolBar() const { return m_toolBar; }
    CStatusBar* StatusBar() const;
    CLockKeyIndicators* LockKeys() const;
    QSplitter* Splitter() const { return m_splitter; }
    CFormSetup* FormPane() const { return m_form; }
    CMYView1* PatternPane() const { return m_view; }
    CRecipeEditor* Editor() const { return m_editor; }
    // The caption as the desktop shows it: "[*]" turned into the modified mark or nothing.
    QString Caption() const;

    // The first size of the window: its preferred size, made to fit the screen's available area.
    static QSize InitialSize(const QRect& available);

    // Files dropped on the window are handed to this callback (the application opens them).
    void SetDropHandler(std::function<void(const QString&)> handler) { m_dropHandler = std::move(handler); }
    // Closing the window asks this after the download question; false keeps the window open.
    void SetCloseQuery(std::function<bool()> query);

  protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    void CreateClient(const AppServices& services);
    void CreateToolBar();
    void UpdateCaption();
    void OnNextPane();

    CDocument* m_pDocument;
    ControllerSession& m_session;
    QSplitter* m_splitter = nullptr;
    CFormSetup* m_form = nullptr;
    CMYView1* m_view = nullptr;
    CRecipeEditor* m_editor = nullptr;
    CommandActions* m_commands = nullptr;
    QMenu* m_fileMenu = nullptr;
    QToolBar* m_toolBar = nullptr;
    StatusPanes* m_panes = nullptr;
    RecentFilesMenu* m_recentFiles = nullptr;
    CloseGuard* m_closeGuard = nullptr;
    std::function<void(const QString&)> m_dropHandler;
};
