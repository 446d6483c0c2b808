#pragma once

#include <QObject>
#include <QStringList>

// The most recently used files, most recent first, at most Size() entries, kept in the
// application's settings (the organisation and application names the program gives Qt at start-up),
// group "Recent File List", keys "File1".."File4".
class CRecentFileList : public QObject {
    Q_OBJECT

  public:
    explicit CRecentFileList(int size = 4, QObject* parent = nullptr);

    int Size() const { return m_size; }
    const QStringList& Entries() const { return m_entries; }

    // Puts path (made absolute) at the top; an entry already there moves up; the oldest drops off.
    void Add(const QString& path);
    void Remove(int index);

    void ReadList();
    void WriteList() const;

  signals:
    void changed();

  private:
    int m_size;
    QStringList m_entries;
};
