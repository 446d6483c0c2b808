#include "CRecentFileList.h"

#include <QFileInfo>
#include <QSettings>

namespace {
const char* const kSection = "Recent File List";
} // namespace

CRecentFileList::CRecentFileList(int size, QObject* parent) : QObject(parent), m_size(size) {}

void CRecentFileList::Add(const QString& path) {
    const QString absolute = QFileInfo(path).absoluteFilePath();
    m_entries.removeAll(absolute);
    m_entries.prepend(absolute);
    while (m_entries.size() > m_size) {
        m_entries.removeLast();
    }
    WriteList();
    emit changed();
}

void CRecentFileList::Remove(int index) {
    if (index < 0 || index >= m_entries.size()) {
        return;
    }
    m_entries.removeAt(index);
    WriteList();
    emit changed();
}

void CRecentFileList::ReadList() {
    QSettings settings;
    settings.beginGroup(QString::fromLatin1(kSection));
    m_entries.clear();
    for (int i = 1; i <= m_size; ++i) {
        const QString entry = settings.value(QStringLiteral("File%1").arg(i)).toString();
        if (!entry.isEmpty() && !m_entries.contains(entry)) {
            m_entries.append(entry);
        }
    }
    emit changed();
}

void CRecentFileList::WriteList() const {
    QSettings settings;
    settings.beginGroup(QString::fromLatin1(kSection));
    for (int i = 1; i <= m_size; ++i) {
        const QString key = QStringLiteral("File%1").arg(i);
        if (i <= m_entries.size()) {
            settings.setValue(key, m_entries.at(i - 1));
        } else {
            settings.remove(key);
        }
    }
}
