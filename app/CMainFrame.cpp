#include "CMainFrame.h"

#include "AfxMessageBox.h"
#include "CDocument.h"
#include "CFormSetup.h"
#include "CKAVODoc.h"
#include "CLockKeyIndicators.h"
#include "CMYView1.h"
#include "CRecentFileList.h"
#include "CRecipeEditor.h"
#include "CStatusBar.h"
#include "ControllerSession.h"
#include "FileName.h"
#include "ProgramResources.h"
#include "StringTable.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QScreen>
#include <QShortcut>
#include <QSplitter>
#include <QStatusTipEvent>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUndoStack>
#include <QWindow>

#include <algorithm>

namespace {

// Hides the tooltip of toolbar buttons whose command string has no tooltip part.
class NoTooltipFilter : public QObject {
  public:
    using QObject::QObject;
    bool eventFilter(QObject*, QEvent* event) override { return event->type() == QEvent::ToolTip; }
};

} // namespace

CMainFrame::CMainFrame(CDocument* document, ControllerSession& session, const AppServices& services,
                       QWidget* parent)
    : QMainWindow(parent), m_pDocument(document), m_session(session),
      m_frameTitle(LoadString(IDR_MAINFRAME).section('\n', 0, 0)) {
    // The Chinese operator messages are Unicode in Qt; no character-type locale is needed for them.
    setWindowIcon(ProgramIcon());
    setAcceptDrops(true);
    OnCreate(services);
    connect(m_pDocument, &CDocument::titleChanged, this, [this] { UpdateCaption(); });
    connect(m_pDocument, &CDocument::modifiedChanged, this, &QWidget::setWindowModified);
    UpdateCaption();
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

CMainFrame::~CMainFrame() {
    // The panes go before the document's view list could point at them.
    m_pDocument->RemoveView(m_form);
    m_pDocument->RemoveView(m_view);
}

void CMainFrame::OnCreate(const AppServices& services) {
    OnCreateClient(services);
    CreateMenus();
    CreateToolBar();
    CreateStatusBar();
    CreateAccelerators();

    SetCommandHandler(ID_VIEW_TOOLBAR, [this] { m_toolBar->setVisible(!m_toolBar->isVisible()); });
    SetCommandHandler(ID_VIEW_STATUS_BAR, [this] { m_statusBar->setVisible(!m_statusBar->isVisible()); });
    SetCommandHandler(ID_NEXT_PANE, [this] { OnNextPane(+1); });
    SetCommandHandler(ID_PREV_PANE, [this] { OnNextPane(-1); });

    // The lock-key panes follow the keyboard's lights where the X server reports them; blank elsewhere.
    m_lockKeys = new CLockKeyIndicators(services.lockKeyDisplay, this);
    connect(m_lockKeys, &CLockKeyIndicators::changed, this, &CMainFrame::ShowLockKeys);
    ShowLockKeys(m_lockKeys->IsLit(CLockKeyIndicators::Caps), m_lockKeys->IsLit(CLockKeyIndicators::Num),
                 m_lockKeys->IsLit(CLockKeyIndicators::Scroll));

    m_frameTitle = QStringLiteral("KAVO_3C_8CH");
    UpdateCommandUI();
}

void CMainFrame::OnCreateClient(const AppServices& services) {
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
        connect(m_editor, &CRecipeEditor::commandStateChanged, this, [this] {
            UpdateUndoTexts();
            UpdateCommandUI();
        });
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
    // Connected after the form: its failure message has been answered by the time this runs.
    connect(&m_session, &ControllerSession::downloadEnded, this, [this] {
        if (m_closeWhenDownloadEnds) {
            m_closeWhenDownloadEnds = false;
            // Queued: the session is still in its end-of-download notice.
            QTimer::singleShot(0, this, [this] { close(); });
        }
    });
    m_pDocument->AddView(m_view);
    connect(&m_session, &ControllerSession::statusMessage, this,
            [this](const QString& text) { m_statusBar->SetPaneText(kPaneMessage, text); });
}

QAction* CMainFrame::MakeAction(UINT id, const QString& text) {
    auto* action = new QAction(text, this);
    action->setData(id);
    action->setStatusTip(CommandPrompt(id));
    const QString tip = CommandTooltip(id);
    action->setToolTip(tip);
    connect(action, &QAction::triggered, this, [this, id] { RouteCommand(id); });
    m_actions[id] = action;
    return action;
}

void CMainFrame::CreateMenus() {
    QMenuBar* bar = menuBar();

    m_fileMenu = bar->addMenu(tr("&File"));
    m_fileMenu->addAction(MakeAction(ID_FILE_NEW, tr("&New\tCtrl+N")));
    m_fileMenu->addAction(MakeAction(ID_FILE_OPEN, tr("&Open...\tCtrl+O")));
    m_fileMenu->addAction(MakeAction(ID_FILE_SAVE, tr("&Save\tCtrl+S")));
    m_fileMenu->addAction(MakeAction(ID_FILE_SAVE_AS, tr("Save &As...")));
    m_fileMenu->addSeparator();
    m_fileMenu->addAction(MakeAction(ID_FILE_PRINT, tr("&Print...\tCtrl+P")));
    m_fileMenu->addAction(MakeAction(ID_FILE_PRINT_PREVIEW, tr("Print Pre&view")));
    m_fileMenu->addAction(MakeAction(ID_FILE_PRINT_SETUP, tr("P&rint Setup...")));
    m_fileMenu->addSeparator();
    m_recentPlaceholder = new QAction(tr("Recent File"), this);
    m_recentPlaceholder->setData(ID_FILE_MRU_FILE1);
    m_recentPlaceholder->setEnabled(false);
    m_fileMenu->addAction(m_recentPlaceholder);
    m_recentSeparator = m_fileMenu->addSeparator();
    m_fileMenu->addAction(MakeAction(ID_APP_EXIT, tr("E&xit")));

    QMenu* edit = bar->addMenu(tr("&Edit"));
    edit->addAction(MakeAction(ID_EDIT_UNDO, tr("&Undo\tCtrl+Z")));
    edit->addAction(MakeAction(ID_EDIT_REDO, tr("&Redo\tCtrl+Y")));
    edit->addSeparator();
    edit->addAction(MakeAction(ID_EDIT_CUT, tr("Cu&t\tCtrl+X")));
    edit->addAction(MakeAction(ID_EDIT_COPY, tr("&Copy\tCtrl+C")));
    edit->addAction(MakeAction(ID_EDIT_PASTE, tr("&Paste\tCtrl+V")));
    edit->addSeparator();
    edit->addSeparator();

    QMenu* view = bar->addMenu(tr("&View"));
    QAction* toolbar = MakeAction(ID_VIEW_TOOLBAR, tr("&Toolbar"));
    toolbar->setCheckable(true);
    toolbar->setChecked(true);
    view->addAction(toolbar);
    QAction* status = MakeAction(ID_VIEW_STATUS_BAR, tr("&Status Bar"));
    status->setCheckable(true);
    status->setChecked(true);
    view->addAction(status);

    QMenu* help = bar->addMenu(tr("&Help"));
    help->addAction(MakeAction(ID_APP_ABOUT, tr("&About KAVO...")));

    // Menus show the state of the moment they open.
    for (QMenu* menu : {m_fileMenu, edit, view, help}) {
        connect(menu, &QMenu::aboutToShow, this, [this] { UpdateCommandUI(); });
    }
}

void CMainFrame::CreateToolBar() {
    m_toolBar = new QToolBar(this);
    m_toolBar->setObjectName(QStringLiteral("toolbar"));
    m_toolBar->setIconSize(QSize(kToolbarButtonWidth, kToolbarButtonHeight));
    m_toolBar->setMovable(true);
    m_toolBar->setFloatable(true);
    m_toolBar->setAllowedAreas(Qt::AllToolBarAreas);
    addToolBar(Qt::TopToolBarArea, m_toolBar);

    struct Button {
        UINT id;
        int image;
    };
    const Button buttons[] = {{ID_FILE_NEW, 0},
                              {ID_FILE_OPEN, 1},
                              {ID_FILE_SAVE, 2},
                              {0, -1},
                              {ID_EDIT_CUT, 3},
                              {ID_EDIT_COPY, 4},
                              {ID_EDIT_PASTE, 5},
                              {0, -1},
                              {ID_FILE_PRINT, 6},
                              {ID_APP_ABOUT, 7},
                              {0, -1},
                              {ID_ALL_LED_OFF, 8},
                              {ID_ALL_LED_ON, 9}};
    auto* noTooltip = new NoTooltipFilter(this);
    for (const Button& b : buttons) {
        if (b.id == 0) {
            m_toolBar->addSeparator();
            continue;
        }
        QAction* action =
            m_actions.count(b.id) != 0 ? m_actions[b.id] : MakeAction(b.id, CommandPrompt(b.id));
        action->setIcon(ToolbarIcon(b.image));
        m_toolBar->addAction(action);
        if (CommandTooltip(b.id).isEmpty()) {
            if (QWidget* button = m_toolBar->widgetForAction(action)) {
                button->installEventFilter(noTooltip);
            }
        }
    }
    connect(m_toolBar, &QToolBar::visibilityChanged, this,
            [this](bool visible) { m_actions[ID_VIEW_TOOLBAR]->setChecked(visible); });
}

void CMainFrame::CreateStatusBar() {
    m_statusBar = new CStatusBar(this);
    m_statusBar->setObjectName(QStringLiteral("statusbar"));
    setStatusBar(m_statusBar);
    m_statusBar->SetIndicators({ID_SEPARATOR, ID_INDICATOR_CH, ID_INDICATOR_STEP, ID_INDICATOR_COORD,
                                ID_INDICATOR_CAPS, ID_INDICATOR_NUM, ID_INDICATOR_SCRL});
    m_statusBar->SetPaneInfo(kPaneChannels, 0, 80);
    m_statusBar->SetPaneInfo(kPaneSteps, 0, 80);
    // The mouse pane holds its whole text in the pane's font, up to four-digit coordinates (the grid
    // alone reaches " x = 455  y = 275"); never narrower than its 100 pixels.
    m_statusBar->SetPaneInfo(
        kPaneMouse, 0,
        std::max(100, m_statusBar->PaneWidthFor(kPaneMouse, QStringLiteral(" x = 8888  y = 8888"))));
    // The panes' widths do not hold the window wide: a narrow window cuts the last panes off instead.
    m_statusBar->setMinimumWidth(1);
    m_statusBar->SetPaneText(kPaneMessage, LoadString(AFX_IDS_IDLEMESSAGE));
    // The key-state panes are blank while their key is off.
    for (int i = kPaneCaps; i <= kPaneScroll; ++i) {
        m_statusBar->SetPaneText(i, QString());
    }
    // The pattern view's texts go to their panes.
    connect(m_view, &CMYView1::channelCountText, this,
            [this](const QString& text) { m_statusBar->SetPaneText(kPaneChannels, text); });
    connect(m_view, &CMYView1::stepCountText, this,
            [this](const QString& text) { m_statusBar->SetPaneText(kPaneSteps, text); });
    connect(m_view, &CMYView1::mousePositionText, this,
            [this](const QString& text) { m_statusBar->SetPaneText(kPaneMouse, text); });
}

void CMainFrame::CreateAccelerators() {
    struct Accel {
        QKeySequence keys;
        UINT id;
    };
    const Accel table[] = {
        {QKeySequence(Qt::CTRL | Qt::Key_N), ID_FILE_NEW},
        {QKeySequence(Qt::CTRL | Qt::Key_O), ID_FILE_OPEN},
        {QKeySequence(Qt::CTRL | Qt::Key_S), ID_FILE_SAVE},
        {QKeySequence(Qt::CTRL | Qt::Key_P), ID_FILE_PRINT},
        {QKeySequence(Qt::CTRL | Qt::Key_Z), ID_EDIT_UNDO},
        {QKeySequence(Qt::CTRL | Qt::Key_Y), ID_EDIT_REDO},
        {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), ID_EDIT_REDO},
        {QKeySequence(Qt::CTRL | Qt::Key_X), ID_EDIT_CUT},
        {QKeySequence(Qt::CTRL | Qt::Key_C), ID_EDIT_COPY},
        {QKeySequence(Qt::CTRL | Qt::Key_V), ID_EDIT_PASTE},
        {QKeySequence(Qt::ALT | Qt::Key_Backspace), ID_EDIT_UNDO},
        {QKeySequence(Qt::SHIFT | Qt::Key_Delete), ID_EDIT_CUT},
        {QKeySequence(Qt::CTRL | Qt::Key_Insert), ID_EDIT_COPY},
        {QKeySequence(Qt::SHIFT | Qt::Key_Insert), ID_EDIT_PASTE},
        {QKeySequence(Qt::Key_F6), ID_NEXT_PANE},
        {QKeySequence(Qt::SHIFT | Qt::Key_F6), ID_PREV_PANE},
    };
    for (const Accel& a : table) {
        auto* shortcut = new QShortcut(a.keys, this);
        shortcut->setContext(Qt::WindowShortcut);
        const UINT id = a.id;
        connect(shortcut, &QShortcut::activated, this, [this, id] { RouteCommand(id); });
    }
}

void CMainFrame::SetCommandChain(std::vector<CCmdTarget*> chain) {
    m_chain = std::move(chain);
    // The edit commands come before the document's own (All LED Off/ON become undoable steps).
    if (m_editor != nullptr) {
        m_chain.insert(m_chain.begin(), m_editor);
    }
    UpdateCommandUI();
    UpdateUndoTexts();
}

void CMainFrame::SetRecentFileList(CRecentFileList* list) {
    m_recentFiles = list;
    connect(list, &CRecentFileList::changed, this, [this] { RebuildRecentFiles(); });
    RebuildRecentFiles();
}

bool CMainFrame::IsCommandEnabled(UINT id) const {
    // The first target that handles the command decides.
    if (HasCommandHandler(id)) {
        return IsCommandEnabledHere(id);
    }
    for (const CCmdTarget* target : m_chain) {
        if (target->HasCommandHandler(id)) {
            return target->IsCommandEnabledHere(id);
        }
    }
    return false;
}

bool CMainFrame::RouteCommand(UINT id) {
    // Commands run from menus, buttons and keys: nothing they throw may leave the event handler.
    try {
        if (!IsCommandEnabled(id)) {
            return false;
        }
        if (OnCmdMsg(id)) {
            return true;
        }
        // Copy: a handler (New, Open) never changes the chain, but stay safe.
        const std::vector<CCmdTarget*> chain = m_chain;
        for (CCmdTarget* target : chain) {
            if (target->OnCmdMsg(id)) {
                return true;
            }
        }
    } catch (const std::exception& e) {
        AfxMessageBox(tr("The command could not be carried out: %1").arg(QString::fromLocal8Bit(e.what())),
                      MB_ICONERROR);
        return true;
    } catch (...) {
        AfxMessageBox(tr("The command could not be carried out."), MB_ICONERROR);
        return true;
    }
    return false;
}

void CMainFrame::UpdateCommandUI() {
    for (auto& [id, action] : m_actions) {
        action->setEnabled(IsCommandEnabled(id));
    }
    for (QAction* action : m_recentActions) {
        action->setEnabled(IsCommandEnabled(action->data().toUInt()));
    }
}

QAction* CMainFrame::Action(UINT id) const {
    const auto it = m_actions.find(id);
    return it != m_actions.end() ? it->second : nullptr;
}

void CMainFrame::RebuildRecentFiles() {
    for (QAction* action : m_recentActions) {
        m_fileMenu->removeAction(action);
        action->deleteLater(); // it may be the entry whose trigger is running now
    }
    m_recentActions.clear();
    const QStringList entries = m_recentFiles != nullptr ? m_recentFiles->Entries() : QStringList();
    m_recentPlaceholder->setVisible(entries.isEmpty());
    for (int i = 0; i < entries.size(); ++i) {
        const UINT id = ID_FILE_MRU_FILE1 + static_cast<UINT>(i);
        QString shown = DisplayFileName(QDir::toNativeSeparators(entries.at(i)));
        shown.replace(QLatin1Char('&'), QLatin1String("&&"));
        auto* action = new QAction(QStringLiteral("&%1 %2").arg(i + 1).arg(shown), this);
        action->setData(id);
        action->setStatusTip(CommandPrompt(id));
        connect(action, &QAction::triggered, this, [this, id] { RouteCommand(id); });
        m_fileMenu->insertAction(m_recentSeparator, action);
        m_recentActions.push_back(action);
    }
    UpdateCommandUI();
}

void CMainFrame::UpdateCaption() {
    // The desktop's modified mark goes after the recipe's name; a "[*]" in the name itself stays text.
    QString title = m_pDocument->GetTitle();
    title.replace(QLatin1String("[*]"), QLatin1String("[*][*]"));
    setWindowTitle(title + QLatin1String("[*] - ") + m_frameTitle);
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

void CMainFrame::UpdateUndoTexts() {
    if (m_editor == nullptr) {
        return;
    }
    // "&Undo Slider\tCtrl+Z" while there is a step to undo, "&Undo\tCtrl+Z" otherwise; Redo alike.
    const QUndoStack* stack = m_editor->UndoStack();
    struct Entry {
        UINT id;
        QString what;
        QString menu;
        QString tip;
        QString menuWith;
        QString tipWith;
    };
    const Entry entries[] = {
        {ID_EDIT_UNDO, stack->canUndo() ? stack->undoText() : QString(), QStringLiteral("&Undo\tCtrl+Z"),
         CommandTooltip(ID_EDIT_UNDO), tr("&Undo %1\tCtrl+Z"), tr("Undo %1")},
        {ID_EDIT_REDO, stack->canRedo() ? stack->redoText() : QString(), tr("&Redo\tCtrl+Y"),
         CommandTooltip(ID_EDIT_REDO), tr("&Redo %1\tCtrl+Y"), tr("Redo %1")},
    };
    for (const Entry& e : entries) {
        if (QAction* action = Action(e.id)) {
            action->setText(e.what.isEmpty() ? e.menu : e.menuWith.arg(e.what));
            action->setToolTip(e.what.isEmpty() ? e.tip : e.tipWith.arg(e.what));
        }
    }
}

void CMainFrame::ShowLockKeys(bool caps, bool num, bool scroll) {
    m_statusBar->SetPaneText(kPaneCaps, caps ? LoadString(ID_INDICATOR_CAPS) : QString());
    m_statusBar->SetPaneText(kPaneNum, num ? LoadString(ID_INDICATOR_NUM) : QString());
    m_statusBar->SetPaneText(kPaneScroll, scroll ? LoadString(ID_INDICATOR_SCRL) : QString());
}

void CMainFrame::OnNextPane(int direction) {
    (void)direction; // two panes: next and previous are the same move
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
        const QString tip = static_cast<QStatusTipEvent*>(event)->tip();
        m_statusBar->SetPaneText(kPaneMessage, tip.isEmpty() ? LoadString(AFX_IDS_IDLEMESSAGE) : tip);
        return true;
    }
    return QMainWindow::event(event);
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    // Ending now would leave the controller with half a recipe: the operator decides first.
    if (m_session.IsDownloadRunning()) {
        const int kWait = 0;
        const int kStop = 1;
        const int answer = AfxMessageBox(
            tr("A download is running. Stop it? The controller will hold an incomplete recipe."),
            {tr("Wait"), tr("Stop")}, kWait, MB_ICONEXCLAMATION);
        // The download may have ended while the question was up: then there is nothing left to wait for.
        if (answer != kStop && m_session.IsDownloadRunning()) {
            m_closeWhenDownloadEnds = true;
            event->ignore();
            return;
        }
    }
    m_closeWhenDownloadEnds = false;
    if (m_closeQuery && !m_closeQuery()) {
        event->ignore();
        return;
    }
    event->accept();
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
