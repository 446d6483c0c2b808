// The journal's files: appending a record (rotating the file past its size), and reading the records back,
// whole or from the end. Declared in DownloadJournal.h.
#include "DownloadJournal.h"

#include "FileAccess.h"
#include "FileName.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <limits>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// A line longer than this is no record (a record with the longest paths takes a few kilobytes); it is
// skipped, not read in.
constexpr qsizetype kMaxLineBytes = 64 * 1024;
// Reading backwards, in blocks of this size.
constexpr qint64 kBlockBytes = 64 * 1024;
// A record is appended when what it tells has ended, so the file is in order of end time; this much
// is allowed for the writer's queue and for two programs appending at once.
constexpr qint64 kWriteSlackMs = 10 * 60 * 1000;

QString Shown(const QString& path) {
    return DisplayFileName(path);
}

// Why a file of the journal could not be opened, in plain words.
QString Why(const FileError& e) {
    if (const QString kind = RefusedKindText(e); !kind.isEmpty()) {
        return kind;
    }
    return e.sysError != 0 ? QString::fromLocal8Bit(std::strerror(e.sysError)) : e.message;
}

// A record with where it stands: its start time (ms since the epoch; the lowest value when it does not
// read) and its place among the lines read, for a stable order of equal times.
struct Placed {
    qint64 start = 0;
    qint64 place = 0;
    JournalRecord record;

    bool operator<(const Placed& o) const { return start != o.start ? start < o.start : place < o.place; }
};

qint64 StartOf(const JournalRecord& r) {
    const QDateTime t = QDateTime::fromString(r.time, Qt::ISODateWithMs);
    return t.isValid() ? t.toMSecsSinceEpoch() : std::numeric_limits<qint64>::min();
}

// Opens one file of the journal for reading: the descriptor, -1 for a file that is not there (an empty
// journal), -2 with *error for one that can't be read.
int OpenForReadingJournal(const QString& path, QString* error) {
    FileError fe;
    const int fd = OpenRegularFile(path, O_RDONLY, &fe);
    if (fd >= 0) {
        return fd;
    }
    if (fe.sysError == ENOENT) {
        return -1;
    }
    *error = QStringLiteral("cannot read ") + Shown(path) + QStringLiteral(": ") + Why(fe);
    return -2;
}

// Lines of one file from the first; a line longer than kMaxLineBytes comes back as tooLong, unread.
bool ReadForwards(int fd, const QString& path, const std::function<void(const QByteArray&, bool)>& take,
                  QString* error) {
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        *error = QStringLiteral("cannot read ") + Shown(path);
        return false;
    }
    // At most kMaxLineBytes + 1 bytes a time (readLine keeps one of the size given for a terminating zero).
    constexpr qint64 kRead = kMaxLineBytes + 2;
    while (!file.atEnd()) {
        QByteArray line = file.readLine(kRead);
        if (line.size() > kMaxLineBytes && !line.endsWith('\n')) {
            // The rest of an overlong line, skipped in pieces.
            while (!file.atEnd() && !line.endsWith('\n')) {
                line = file.readLine(kRead);
            }
            take(QByteArray(), true);
            continue;
        }
        take(line, false);
    }
    if (file.error() != QFileDevice::NoError) {
        *error = QStringLiteral("cannot read ") + Shown(path) + QStringLiteral(": ") + file.errorString();
        return false;
    }
    return true;
}

// Lines of one file from the last to the first, read in blocks from the end: it holds a block and at most
// one line (kMaxLineBytes) at a time; a longer line comes back as tooLong, without its text.
class BackwardLines {
  public:
    BackwardLines(int fd, qint64 size) : m_fd(fd), m_pos(size) {}

    // False once the first line has been given, or after a read error (*error set).
    bool Next(QByteArray* line, bool* tooLong, QString* error) {
        for (;;) {
            // m_tail: the file's bytes from m_pos on that are not given yet (m_overlong: and more, dropped).
            const qsizetype nl = m_tail.lastIndexOf('\n');
            if (nl >= 0) {
                *line = m_tail.mid(nl + 1);
                *tooLong = m_overlong || line->size() > kMaxLineBytes;
                m_overlong = false;
                m_tail.truncate(nl);
                return true;
            }
            if (m_pos == 0) {
                if (m_tail.isEmpty() && !m_overlong) {
                    return false;
                }
                *line = m_tail;
                *tooLong = m_overlong || line->size() > kMaxLineBytes;
                m_tail.clear();
                m_overlong = false;
                return true;
            }
            const qint64 n = std::min(kBlockBytes, m_pos);
            QByteArray block(static_cast<qsizetype>(n), Qt::Uninitialized);
            qint64 got = 0;
            while (got < n) {
                const ssize_t r = ::pread(m_fd, block.data() + got, static_cast<size_t>(n - got),
                                          static_cast<off_t>(m_pos - n + got));
                if (r < 0 && errno == EINTR) {
                    continue;
                }
                if (r <= 0) {
                    *error = QString::fromLocal8Bit(std::strerror(r < 0 ? errno : EIO));
                    return false;
                }
                got += r;
            }
            m_pos -= n;
            m_tail.prepend(block);
            if (m_tail.size() > kMaxLineBytes && m_tail.indexOf('\n') < 0) {
                m_tail.clear(); // all of it belongs to one overlong line
                m_overlong = true;
            } else if (m_overlong && m_tail.indexOf('\n') >= 0) {
                // The overlong line's start is in this block: what follows its newline is dropped too.
                m_tail.truncate(m_tail.lastIndexOf('\n') + 1);
            }
        }
    }

  private:
    int m_fd;
    qint64 m_pos;
    QByteArray m_tail;
    bool m_overlong = false;
};

// One line of a file: a record, nothing (blank), or a bad line counted.
std::optional<JournalRecord> TakeLine(const QByteArray& raw, bool tooLong, int* badLines) {
    if (tooLong) {
        ++*badLines;
        return std::nullopt;
    }
    const QByteArray line = raw.trimmed();
    if (line.isEmpty()) {
        return std::nullopt;
    }
    std::optional<JournalRecord> r = ParseJournalLine(line);
    if (!r) {
        ++*badLines;
    }
    return r;
}

} // namespace

QString PreviousJournalPath(const QString& path) {
    return path + QStringLiteral(".1");
}

bool AppendJournal(const QString& path, const JournalRecord& record, QString* error) {
    const QString dir = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(dir)) {
        *error = QStringLiteral("cannot create the folder ") + Shown(dir);
        return false;
    }
    const QByteArray line = JournalLine(record);
    const QByteArray native = EncodeFileName(path);
    // Rounds: a file found full is rotated (by this program or by another one at the same moment), then
    // opened again. The last round appends whatever it finds.
    constexpr int kRounds = 3;
    for (int round = 1;; ++round) {
        FileError fe;
        const int fd = OpenRegularFile(path, O_WRONLY | O_APPEND | O_CREAT, &fe);
        if (fd < 0) {
            *error = QStringLiteral("cannot write ") + Shown(path) + QStringLiteral(": ") + Why(fe);
            return false;
        }
        struct stat st {};
        ::fstat(fd, &st);
        if (round < kRounds && st.st_size > 0 && st.st_size + line.size() > kJournalRotateBytes) {
            // One program rotates, and only the file that still has the journal's name.
            struct stat named {};
            if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::stat(native.constData(), &named) == 0 &&
                named.st_dev == st.st_dev && named.st_ino == st.st_ino) {
                ::rename(native.constData(), EncodeFileName(PreviousJournalPath(path)).constData());
            }
            ::close(fd);
            continue;
        }
        ssize_t written = -1;
        do {
            written = ::write(fd, line.constData(), static_cast<size_t>(line.size()));
        } while (written < 0 && errno == EINTR);
        const int e = written < 0 ? errno : ENOSPC;
        ::close(fd);
        if (written != line.size()) {
            *error = QStringLiteral("cannot write ") + Shown(path) + QStringLiteral(": ") +
                     QString::fromLocal8Bit(std::strerror(e));
            return false;
        }
        return true;
    }
}

bool ReadJournal(const QString& path, QList<JournalRecord>* records, int* badLines, QString* error) {
    records->clear();
    *badLines = 0;
    std::vector<Placed> all;
    for (const QString& file : {PreviousJournalPath(path), path}) {
        const int fd = OpenForReadingJournal(file, error);
        if (fd == -2) {
            return false;
        }
        if (fd < 0) {
            continue;
        }
        const bool ok = ReadForwards(
            fd, file,
            [&](const QByteArray& line, bool tooLong) {
                if (std::optional<JournalRecord> r = TakeLine(line, tooLong, badLines)) {
                    const qint64 start = StartOf(*r);
                    all.push_back({start, static_cast<qint64>(all.size()), std::move(*r)});
                }
            },
            error);
        if (!ok) {
            return false;
        }
    }
    std::sort(all.begin(), all.end());
    records->reserve(static_cast<qsizetype>(all.size()));
    for (Placed& p : all) {
        records->append(std::move(p.record));
    }
    return true;
}

bool ReadJournalTail(const QString& path, qsizetype count, QList<JournalRecord>* records, int* badLines,
                     QString* error) {
    records->clear();
    *badLines = 0;
    if (count <= 0) {
        return true;
    }
    // The latest `count` by start time so far, as a heap whose top is the earliest of them.
    std::vector<Placed> kept;
    const auto later = [](const Placed& a, const Placed& b) { return b < a; };
    qint64 place = 0; // counts down: lines nearer the start of the journal come first in the end
    bool enough = false;
    for (const QString& file : {path, PreviousJournalPath(path)}) {
        const int fd = OpenForReadingJournal(file, error);
        if (fd == -2) {
            return false;
        }
        if (fd < 0) {
            continue;
        }
        struct stat st {};
        ::fstat(fd, &st);
        BackwardLines lines(fd, st.st_size);
        QByteArray line;
        bool tooLong = false;
        QString readError;
        while (!enough && lines.Next(&line, &tooLong, &readError)) {
            std::optional<JournalRecord> r = TakeLine(line, tooLong, badLines);
            if (!r) {
                continue;
            }
            Placed p{StartOf(*r), --place, std::move(*r)};
            const bool full = static_cast<qsizetype>(kept.size()) == count;
            // Every line before this one was written before it, so ended before it ended: once this one
            // ended before the earliest kept started, none of them can be among the latest.
            if (full && p.start != std::numeric_limits<qint64>::min() &&
                p.start + std::max<qint64>(p.record.durationMs, 0) + kWriteSlackMs < kept.front().start) {
                enough = true;
                break;
            }
            if (!full) {
                kept.push_back(std::move(p));
                std::push_heap(kept.begin(), kept.end(), later);
            } else if (kept.front() < p) {
                std::pop_heap(kept.begin(), kept.end(), later);
                kept.back() = std::move(p);
                std::push_heap(kept.begin(), kept.end(), later);
            }
        }
        ::close(fd);
        if (!readError.isEmpty()) {
            *error = QStringLiteral("cannot read ") + Shown(file) + QStringLiteral(": ") + readError;
            return false;
        }
        if (enough) {
            break;
        }
    }
    std::sort(kept.begin(), kept.end());
    records->reserve(static_cast<qsizetype>(kept.size()));
    for (Placed& p : kept) {
        records->append(std::move(p.record));
    }
    return true;
}
