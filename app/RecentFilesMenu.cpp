#include "RecentFilesMenu.h"

#include "CRecentFileList.h"
#include "CommandActions.h"
#include "FileName.h"

#include <QAction>
#include <QDir>
#include <QMenu>

RecentFilesMenu::RecentFilesMenu(QMenu* menu, QAction* before, CommandActions* commands, QObject* parent)
    : QObject(parent), m_menu(menu), m_commands(commands),
      m_placeholder(new QAction(tr("Recent File"), this)) {
    m_placeholder->setData(ID_FILE_MRU_FILE1);
    m_placeholder->setEnabled(false);
    m_menu->insertAction(before, m_placeholder);
    m_separator = m_menu->insertSeparator(before);
}

void RecentFilesMenu::SetList(CRecentFileList* list) {
    if (m_list != nullptr) {
        disconnect(m_list, nullptr, this, nullptr);
    }
    m_list = list;
    if (m_list != nullptr) {
        connect(m_list, &CRecentFileList::changed, this, &RecentFilesMenu::Rebuild);
    }
    Rebuild();
}

void RecentFilesMenu::Rebuild() {
    for (QAction* action : m_entries) {
        m_menu->removeAction(action);
        action->deleteLater(); // it may be the entry whose trigger is running now
    }
    m_entries.clear();
    const QStringList files = m_list != nullptr ? m_list->Entries() : QStringList();
    m_placeholder->setVisible(files.isEmpty());
    for (int i = 0; i < files.size(); ++i) {
        QString shown = DisplayFileName(QDir::toNativeSeparators(files.at(i)));
        shown.replace(QLatin1Char('&'), QLatin1String("&&"));
        QAction* action = m_commands->AddAction(ID_FILE_MRU_FILE1 + static_cast<UINT>(i),
                                                QStringLiteral("&%1 %2").arg(i + 1).arg(shown), this);
        m_menu->insertAction(m_separator, action);
        m_entries.push_back(action);
    }
}
