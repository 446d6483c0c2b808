#pragma once

#include "CCmdTarget.h"

#include <QObject>

#include <map>
#include <vector>

class QAction;
class QMenu;
class QMenuBar;
class QToolBar;
class QUndoStack;
class QWidget;

// The window's commands as actions: one QAction per command id, made once with its text, keys, status-bar
// prompt and tooltip, and placed in the menu bar and on the toolbar. An action, however it is triggered
// (menu, toolbar button, key), runs its command through the chain of targets: the first target with a
// handler for the id runs it, and a command no target handles is disabled. The targets tell when a
// command's handler or enabled state changes (CCmdTarget::CommandStateChanged); the actions follow at once,
// so nothing is asked when a menu opens.
class CommandActions : public QObject {
    Q_OBJECT

  public:
    // window: where the keys of commands without a menu entry (F6, Shift+F6) live. undoStack: hands out
    // the Undo and Redo actions, whose texts name the step ("&Undo Slider"); null: plain Undo and Redo.
    CommandActions(QWidget* window, QUndoStack* undoStack);
    ~CommandActions() override;

    // The targets in routing order (the frame first). Their commands' states are followed from now on.
    void SetChain(std::vector<CCmdTarget*> chain);

    // Runs a command as its action would; false when it is disabled or nobody handles it.
    bool Route(UINT id);
    bool IsEnabled(UINT id) const;

    // The action of a command (its first, where a command has several).
    QAction* Action(UINT id) const;
    // An action of a command whose text is known only while the program runs (a recent file's entry): it
    // routes and follows the command's enabled state for as long as it lives. parent owns it.
    QAction* AddAction(UINT id, const QString& text, QObject* parent);

    // The File, Edit, View and Help menus, in this order; returns the File menu.
    QMenu* FillMenuBar(QMenuBar* bar);
    // New, Open, Save | Cut, Copy, Paste | Print, About | All LED Off, All LED ON.
    void FillToolBar(QToolBar* toolBar);

  private:
    QAction* MakeAction(UINT id, const QString& text, QObject* parent);
    QAction* MakeUndoAction(UINT id, QUndoStack* stack, const QString& prefix);
    void Follow(QAction* action, UINT id);
    void Refresh(UINT id);
    void RefreshAll();
    void Unobserve();

    QWidget* m_window;
    std::vector<CCmdTarget*> m_chain;
    // Every live action of each command; the first is the command's own.
    std::multimap<UINT, QAction*> m_actions;
};
