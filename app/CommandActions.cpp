#include "CommandActions.h"

#include "AfxMessageBox.h"
#include "ProgramResources.h"
#include "StringTable.h"

#include <QAction>
#include <QCoreApplication>
#include <QEvent>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>
#include <QUndoStack>
#include <QWidget>

#include <exception>

namespace {

QString Tr(const char* text) {
    return QCoreApplication::translate("CommandActions", text);
}

struct Command {
    UINT id;
    // The menu text, marked for translation; null: no menu entry, the action is named by its prompt.
    const char* text = nullptr;
    // The window's own keys; the menu shows the first.
    std::vector<QKeySequence> keys = {};
    // The platform's keys for the same command (the Sun keyboard's Undo key, macOS's Command key), added
    // after the window's own.
    QKeySequence::StandardKey standard = QKeySequence::UnknownKey;
    bool checkable = false;
};

// Every command of the window, with its keys. One key belongs to one command only: a key given twice
// would be ambiguous and run neither.
const std::vector<Command>& Commands() {
    static const std::vector<Command> commands = {
        {ID_FILE_NEW, QT_TRANSLATE_NOOP("CommandActions", "&New"), {Qt::CTRL | Qt::Key_N}, QKeySequence::New},
        {ID_FILE_OPEN,
         QT_TRANSLATE_NOOP("CommandActions", "&Open..."),
         {Qt::CTRL | Qt::Key_O},
         QKeySequence::Open},
        {ID_FILE_SAVE,
         QT_TRANSLATE_NOOP("CommandActions", "&Save"),
         {Qt::CTRL | Qt::Key_S},
         QKeySequence::Save},
        {ID_FILE_SAVE_AS, QT_TRANSLATE_NOOP("CommandActions", "Save &As...")},
        {ID_FILE_PRINT,
         QT_TRANSLATE_NOOP("CommandActions", "&Print..."),
         {Qt::CTRL | Qt::Key_P},
         QKeySequence::Print},
        {ID_FILE_PRINT_PREVIEW, QT_TRANSLATE_NOOP("CommandActions", "Print Pre&view")},
        {ID_FILE_PRINT_SETUP, QT_TRANSLATE_NOOP("CommandActions", "P&rint Setup...")},
        {ID_APP_EXIT, QT_TRANSLATE_NOOP("CommandActions", "E&xit")},
        // Undo and Redo: the prefix of the step's name ("&Undo Slider").
        {ID_EDIT_UNDO,
         QT_TRANSLATE_NOOP("CommandActions", "&Undo"),
         {Qt::CTRL | Qt::Key_Z, Qt::ALT | Qt::Key_Backspace},
         QKeySequence::Undo},
        {ID_EDIT_REDO,
         QT_TRANSLATE_NOOP("CommandActions", "&Redo"),
         {Qt::CTRL | Qt::Key_Y, Qt::CTRL | Qt::SHIFT | Qt::Key_Z},
         QKeySequence::Redo},
        {ID_EDIT_CUT,
         QT_TRANSLATE_NOOP("CommandActions", "Cu&t"),
         {Qt::CTRL | Qt::Key_X, Qt::SHIFT | Qt::Key_Delete},
         QKeySequence::Cut},
        {ID_EDIT_COPY,
         QT_TRANSLATE_NOOP("CommandActions", "&Copy"),
         {Qt::CTRL | Qt::Key_C, Qt::CTRL | Qt::Key_Insert},
         QKeySequence::Copy},
        {ID_EDIT_PASTE,
         QT_TRANSLATE_NOOP("CommandActions", "&Paste"),
         {Qt::CTRL | Qt::Key_V, Qt::SHIFT | Qt::Key_Insert},
         QKeySequence::Paste},
        {ID_VIEW_TOOLBAR,
         QT_TRANSLATE_NOOP("CommandActions", "&Toolbar"),
         {},
         QKeySequence::UnknownKey,
         true},
        {ID_VIEW_STATUS_BAR,
         QT_TRANSLATE_NOOP("CommandActions", "&Status Bar"),
         {},
         QKeySequence::UnknownKey,
         true},
        {ID_APP_ABOUT, QT_TRANSLATE_NOOP("CommandActions", "&About KAVO...")},
        {ID_NEXT_PANE, nullptr, {Qt::Key_F6}},
        {ID_PREV_PANE, nullptr, {Qt::SHIFT | Qt::Key_F6}},
        {ID_ALL_LED_OFF},
        {ID_ALL_LED_ON},
    };
    return commands;
}

// The window's own keys, then the platform's that are not among them.
QList<QKeySequence> KeysOf(const Command& command) {
    QList<QKeySequence> keys(command.keys.begin(), command.keys.end());
    for (const QKeySequence& key : QKeySequence::keyBindings(command.standard)) {
        if (!keys.contains(key)) {
            keys.append(key);
        }
    }
    return keys;
}

struct Menu {
    const char* title;
    std::vector<UINT> ids; // 0: a separator
};

const Menu kMenus[] = {
    {QT_TRANSLATE_NOOP("CommandActions", "&File"),
     {ID_FILE_NEW, ID_FILE_OPEN, ID_FILE_SAVE, ID_FILE_SAVE_AS, 0, ID_FILE_PRINT, ID_FILE_PRINT_PREVIEW,
      ID_FILE_PRINT_SETUP, 0, ID_APP_EXIT}},
    {QT_TRANSLATE_NOOP("CommandActions", "&Edit"),
     {ID_EDIT_UNDO, ID_EDIT_REDO, 0, ID_EDIT_CUT, ID_EDIT_COPY, ID_EDIT_PASTE}},
    {QT_TRANSLATE_NOOP("CommandActions", "&View"), {ID_VIEW_TOOLBAR, ID_VIEW_STATUS_BAR}},
    {QT_TRANSLATE_NOOP("CommandActions", "&Help"), {ID_APP_ABOUT}},
};

// The toolbar's buttons and the picture each takes from the strip; id 0 is a separator.
struct Button {
    UINT id;
    int image;
};
constexpr Button kButtons[] = {{ID_FILE_NEW, 0},
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

// Hides the tooltip of toolbar buttons whose command string has no tooltip part.
class NoTooltipFilter : public QObject {
  public:
    using QObject::QObject;
    bool eventFilter(QObject*, QEvent* event) override { return event->type() == QEvent::ToolTip; }
};

} // namespace

CommandActions::CommandActions(QWidget* window, QUndoStack* undoStack) : QObject(window), m_window(window) {
    for (const Command& command : Commands()) {
        const QString text = command.text != nullptr ? Tr(command.text) : CommandPrompt(command.id);
        const bool undoRedo = command.id == ID_EDIT_UNDO || command.id == ID_EDIT_REDO;
        QAction* action = undoRedo && undoStack != nullptr ? MakeUndoAction(command.id, undoStack, text)
                                                           : MakeAction(command.id, text, this);
        action->setShortcuts(KeysOf(command));
        action->setCheckable(command.checkable);
        action->setChecked(command.checkable);
        if (command.text == nullptr && !command.keys.empty()) {
            m_window->addAction(action); // keys without a menu entry: they work wherever the window has focus
        }
    }
}

CommandActions::~CommandActions() {
    Unobserve();
}

QAction* CommandActions::MakeAction(UINT id, const QString& text, QObject* parent) {
    auto* action = new QAction(text, parent);
    action->setToolTip(CommandTooltip(id));
    Follow(action, id);
    return action;
}

QAction* CommandActions::MakeUndoAction(UINT id, QUndoStack* stack, const QString& prefix) {
    // The stack keeps the text ("&Undo Slider", "&Undo" with nothing to undo) in the window's language; the
    // tooltip follows the text.
    QAction* action =
        id == ID_EDIT_UNDO ? stack->createUndoAction(this, prefix) : stack->createRedoAction(this, prefix);
    // The command runs through the chain like every other: the editor ends a slider's burst first.
    disconnect(action, &QAction::triggered, stack, nullptr);
    Follow(action, id);
    return action;
}

void CommandActions::Follow(QAction* action, UINT id) {
    action->setData(id);
    action->setStatusTip(CommandPrompt(id));
    connect(action, &QAction::triggered, this, [this, id] { Route(id); });
    m_actions.emplace(id, action);
    connect(action, &QObject::destroyed, this, [this, action] {
        for (auto it = m_actions.begin(); it != m_actions.end(); ++it) {
            if (it->second == action) {
                m_actions.erase(it);
                return;
            }
        }
    });
    action->setEnabled(IsEnabled(id));
}

QAction* CommandActions::AddAction(UINT id, const QString& text, QObject* parent) {
    return MakeAction(id, text, parent);
}

QAction* CommandActions::Action(UINT id) const {
    const auto it = m_actions.find(id);
    return it != m_actions.end() ? it->second : nullptr;
}

void CommandActions::SetChain(std::vector<CCmdTarget*> chain) {
    Unobserve();
    m_chain = std::move(chain);
    for (CCmdTarget* target : m_chain) {
        target->AddStateObserver(this, [this](UINT id) { Refresh(id); });
    }
    RefreshAll();
}

void CommandActions::Unobserve() {
    for (CCmdTarget* target : m_chain) {
        target->RemoveStateObserver(this);
    }
    m_chain.clear();
}

void CommandActions::Refresh(UINT id) {
    const bool enabled = IsEnabled(id);
    const auto [first, last] = m_actions.equal_range(id);
    for (auto it = first; it != last; ++it) {
        it->second->setEnabled(enabled);
    }
}

void CommandActions::RefreshAll() {
    for (const auto& [id, action] : m_actions) {
        action->setEnabled(IsEnabled(id));
    }
}

bool CommandActions::IsEnabled(UINT id) const {
    // The first target that handles the command decides.
    for (const CCmdTarget* target : m_chain) {
        if (target->HasCommandHandler(id)) {
            return target->IsCommandEnabledHere(id);
        }
    }
    return false;
}

bool CommandActions::Route(UINT id) {
    // Commands run from menus, buttons and keys: nothing they throw may leave the event handler.
    try {
        if (!IsEnabled(id)) {
            return false;
        }
        // Copy: a handler (New, Open) never changes the chain, but stay safe.
        const std::vector<CCmdTarget*> chain = m_chain;
        for (CCmdTarget* target : chain) {
            if (target->OnCmdMsg(id)) {
                return true;
            }
        }
    } catch (const std::exception& e) {
        AfxMessageBox(Tr(QT_TRANSLATE_NOOP("CommandActions", "The command could not be carried out: %1"))
                          .arg(QString::fromLocal8Bit(e.what())),
                      MB_ICONERROR);
        return true;
    } catch (...) {
        AfxMessageBox(Tr(QT_TRANSLATE_NOOP("CommandActions", "The command could not be carried out.")),
                      MB_ICONERROR);
        return true;
    }
    return false;
}

QMenu* CommandActions::FillMenuBar(QMenuBar* bar) {
    QMenu* file = nullptr;
    for (const Menu& entry : kMenus) {
        QMenu* menu = bar->addMenu(Tr(entry.title));
        file = file != nullptr ? file : menu;
        for (UINT id : entry.ids) {
            if (id == 0) {
                menu->addSeparator();
            } else {
                menu->addAction(Action(id));
            }
        }
    }
    return file;
}

void CommandActions::FillToolBar(QToolBar* toolBar) {
    auto* noTooltip = new NoTooltipFilter(toolBar);
    for (const Button& b : kButtons) {
        if (b.id == 0) {
            toolBar->addSeparator();
            continue;
        }
        QAction* action = Action(b.id);
        action->setIcon(ToolbarIcon(b.image));
        toolBar->addAction(action);
        if (CommandTooltip(b.id).isEmpty()) {
            if (QWidget* button = toolBar->widgetForAction(action)) {
                button->installEventFilter(noTooltip);
            }
        }
    }
}
