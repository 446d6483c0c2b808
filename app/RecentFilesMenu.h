#pragma once

#include <QObject>

#include <vector>

class CRecentFileList;
class CommandActions;
class QAction;
class QMenu;

// The recent files in the File menu: "&1 name" to "&4 name", most recent first, followed by a separator,
// where the greyed "Recent File" stands while the list is empty. An entry runs the command
// ID_FILE_MRU_FILE1 + its index through the window's commands. The entries follow the list's changes.
class RecentFilesMenu : public QObject {
    Q_OBJECT

  public:
    // The entries go into menu before the action before (Exit).
    RecentFilesMenu(QMenu* menu, QAction* before, CommandActions* commands, QObject* parent = nullptr);

    void SetList(CRecentFileList* list);

  private:
    void Rebuild();

    QMenu* m_menu;
    CommandActions* m_commands;
    QAction* m_placeholder;
    QAction* m_separator;
    std::vector<QAction*> m_entries;
    CRecentFileList* m_list = nullptr;
};
