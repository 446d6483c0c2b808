#include "CMainFrame.h"

#include "CDocument.h"
#include "CFormSetup.h"
#include "CKAVODoc.h"
#include "CMYView1.h"
#include "CRecipeEditor.h"
#include "CStatusBar.h"
#include "CloseGuard.h"
#include "CommandActions.h"
#include "ControllerSession.h"
#include "ProgramResources.h"
#include "RecentFilesMenu.h"
#include "StatusPanes.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMenuBar>
#include <QMimeData>
#include <QSplitter>
#include <QStatusTipEvent>
#include <QTimer>
#include <QToolBar>
#include <QWindow>

namespace {

// The part of the caption that names the program, after the recipe's name.
const char* const kFrameTitle = "KAVO_3C_8CH";

} // namespace

CMainFrame::CMainFrame(CDocument* document, ControllerSession& session, const AppServices& services,
                       QWidget* parent)
    : QMainWindow(parent), m_pDocument(document), m_session(session) {
    setWindowIcon(ProgramIcon());
    setAcceptDrops(true);

    CreateClient(services);
    m_commands = new CommandActions(this, m_editor != nullptr ? m_editor->UndoStack() : nullptr);
    m_fileMenu = m_commands->FillMenuBar(menuBar());
    m_recentFiles = new RecentFilesMenu(m_fileMenu, Action(ID_APP_EXIT), m_commands, this);
    CreateToolBar();
    m_panes = new StatusPanes(this, services.lockKeyDisplay);
    m_panes->Follow(m_view);
    connect(&m_session, &ControllerSession::statusMessage, m_panes, &StatusPanes::ShowMessage);
    connect(&m_session, &ControllerSession::statusMessageWithdrawn, m_panes, &StatusPanes::WithdrawMessage);

    // Whether a download runs is the session's to say; the guard closes the window when one it waited for
    // ends.
    m_closeGuard = new CloseGuard(
        this, [session = &m_session] { return session->IsDownloadRunning(); },
        [session = &m_session] { session->StopDownload(); });
    // Connected after the form: its failure message has been answered by the time this runs.
    connect(&m_session, &ControllerSession::downloadEnded, m_closeGuard, &CloseGuard::OnDownloadEnded);

    SetCommandHandler(ID_VIEW_TOOLBAR, [this] { m_toolBar->setVisible(!m_toolBar->isVisible()); });
    SetCommandHandler(ID_VIEW_STATUS_BAR, [this] { StatusBar()->setVisible(!StatusBar()->isVisible()); });
    // Two panes: the next and the previous are the same move.
    SetCommandHandler(ID_NEXT_PANE, [this] { OnNextPane(); });
    SetCommandHandler(ID_PREV_PANE, [this] { OnNextPane(); });
    SetCommandChain({});

    connect(m_pDocument, &CDocument::titleChanged, this, [this] { UpdateCaption(); });
    connect(m_pDocument, &CDocument::modifiedChanged, this, &QWidget::setWindowModified);
    UpdateCaption();
}

CMainFrame::~CMainFrame() {
    // The actions stop following the targets before the frame's own target part goes.
    delete m_recentFiles;
    delete m_commands;
    // The panes go before the document's view list could point at them.
    m_pDocument->RemoveView(m_form);
    m_pDocument->RemoveView(m_view);
}

QSize CMainFrame::InitialSize(const QRect& available) {
    const QSize preferred(1100, 640);
    if (!available.isValid()) {
        return preferred;
    }
    // Room for the window's frame and title bar, which the window manager adds outside this size.
    const QSize room = available.size() - QSize(16, 48);
    return preferred.boundedTo(room.expandedTo(QSize(320, 240)));
}

void CMainFrame::CreateClient(const AppServices& services) {
    m_splitter = new QSplitter(Qt::Horizontal, this);
    m_splitter->setObjectName(QStringLiteral("splitter"));
    m_splitter->setContentsMargins(kSplitterBorder, kSplitterBorder, kSplitterBorder, kSplitterBorder);
    m_splitter->setHandleWidth(kSplitterBar);
    m_splitter->setChildrenCollapsible(true);

    m_form = new CFormSetup(services, m_session, m_splitter);
    m_view = new CMYView1(m_splitter);
    if (auto* recipe = qobject_cast<CKAVODoc*>(m_pDocument)) {
        m_editor = new CRecipeEditor(recipe, this);
        m_form->SetEditor(m_editor);
        m_view->SetEditor(m_editor);
    }
    m_view->setMinimumWidth(0);
    m_splitter->addWidget(m_form);
    m_splitter->addWidget(m_view);
    m_splitter->setCollapsible(0, false);
    m_splitter->setCollapsible(1, true);
    // The left pane keeps its width; the right pane takes what remains and shrinks first.
    m_splitter->setStretchFactor(0, 0);
    m_splitter->setStretchFactor(1, 1);
    m_splitter->setSizes({kLeftPaneWidth, 1});
    setCentralWidget(m_splitter);

    m_pDocument->AddView(m_form);
    m_pDocument->AddView(m_view);
}

void CMainFrame::CreateToolBar() {
    m_toolBar = new QToolBar(this);
    m_toolBar->setObjectName(QStringLiteral("toolbar"));
    m_toolBar->setIconSize(QSize(kToolbarButtonWidth, kToolbarButtonHeight));
    m_toolBar->setMovable(true);
    m_toolBar->setFloatable(true);
    m_toolBar->setAllowedAreas(Qt::AllToolBarAreas);
    addToolBar(Qt::TopToolBarArea, m_toolBar);
    m_commands->FillToolBar(m_toolBar);
    connect(m_toolBar, &QToolBar::visibilityChanged, Action(ID_VIEW_TOOLBAR), &QAction::setChecked);
}

void CMainFrame::SetCommandChain(std::vector<CCmdTarget*> chain) {
    // The frame first; the edit commands before the document's own (All LED Off/ON become undoable steps).
    std::vector<CCmdTarget*> targets{this};
    if (m_editor != nullptr) {
        targets.push_back(m_editor);
    }
    targets.insert(targets.end(), chain.begin(), chain.end());
    m_commands->SetChain(std::move(targets));
}

void CMainFrame::SetRecentFileList(CRecentFileList* list) {
    m_recentFiles->SetList(list);
}

void CMainFrame::SetCloseQuery(std::function<bool()> query) {
    m_closeGuard->SetSaveQuery(std::move(query));
}

bool CMainFrame::IsCommandEnabled(UINT id) const {
    return m_commands->IsEnabled(id);
}

bool CMainFrame::RouteCommand(UINT id) {
    return m_commands->Route(id);
}

QAction* CMainFrame::Action(UINT id) const {
    return m_commands->Action(id);
}

CStatusBar* CMainFrame::StatusBar() const {
    return m_panes->Bar();
}

CLockKeyIndicators* CMainFrame::LockKeys() const {
    return m_panes->LockKeys();
}

void CMainFrame::UpdateCaption() {
    // The desktop's modified mark goes after the recipe's name; a "[*]" in the name itself stays text.
    QString title = m_pDocument->GetTitle();
    title.replace(QLatin1String("[*]"), QLatin1String("[*][*]"));
    setWindowTitle(title + QLatin1String("[*] - ") + QLatin1String(kFrameTitle));
    setWindowModified(m_pDocument->IsModified());
}

QString CMainFrame::Caption() const {
    if (const QWindow* window = windowHandle()) {
        return window->title();
    }
    QString caption = windowTitle();
    caption.replace(QLatin1String("[*][*]"), QStringLiteral("\x1F"));
    caption.replace(QLatin1String("[*]"), isWindowModified() ? QStringLiteral("*") : QString());
    return caption.replace(QLatin1Char('\x1F'), QLatin1String("[*]"));
}

void CMainFrame::OnNextPane() {
    QWidget* focus = QApplication::focusWidget();
    const bool inForm = focus != nullptr && (focus == m_form || m_form->isAncestorOf(focus));
    if (inForm) {
        m_view->setFocus(Qt::OtherFocusReason);
    } else {
        m_form->setFocus(Qt::OtherFocusReason);
    }
}

bool CMainFrame::event(QEvent* event) {
    if (event->type() == QEvent::StatusTip) {
        m_panes->ShowPrompt(static_cast<QStatusTipEvent*>(event)->tip());
        return true;
    }
    return QMainWindow::event(event);
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    if (m_closeGuard->MayClose()) {
        event->accept();
    } else {
        event->ignore();
    }
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) {
        for (const QUrl& url : event->mimeData()->urls()) {
            if (url.isLocalFile()) {
                event->acceptProposedAction();
                return;
            }
        }
    }
}

void CMainFrame::dropEvent(QDropEvent* event) {
    for (const QUrl& url : event->mimeData()->urls()) {
        if (url.isLocalFile()) {
            event->acceptProposedAction();
            activateWindow();
            const QString path = url.toLocalFile();
            // Open after the drop has finished, so that message boxes don't run inside it.
            QTimer::singleShot(0, this, [this, path] {
                if (m_dropHandler) {
                    m_dropHandler(path);
                }
            });
            return; // one document at a time: the first file
        }
    }
}
