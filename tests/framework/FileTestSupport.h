#pragma once

// Real files in temporary folders, and the ways to make a file operation fail even for root:
// an immutable folder, a read-only or full tmpfs, and a thread without the capabilities that
// let root ignore file permissions.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/capability.h>
#include <linux/fs.h>
#include <ostream>
#include <string>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/syscall.h>
#include <unistd.h>

// Readable QStrings in test failures.
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace testfs {

inline QByteArray ReadAll(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        return QByteArray();
    }
    return f.readAll();
}

inline bool WriteAll(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        return false;
    }
    return f.write(bytes) == bytes.size() && f.flush();
}

// The files in dir, hidden ones included (a save's temporary file is hidden).
inline QStringList Entries(const QString& dir) {
    return QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

// Sets or clears the immutable attribute; false where the file system or the caller can't.
inline bool SetImmutable(const QString& path, bool on) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    int flags = 0;
    bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (ok) {
        flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        ok = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(fd);
    return ok;
}

// A tmpfs of the given size on a fresh folder, unmounted at the end.
class TmpfsMount {
  public:
    explicit TmpfsMount(const QString& dir, const char* options) : m_dir(dir) {
        m_ok = ::mount("tmpfs", QFile::encodeName(dir).constData(), "tmpfs", 0, options) == 0;
        m_error = m_ok ? std::string() : std::strerror(errno);
    }
    ~TmpfsMount() {
        if (m_ok) {
            ::umount2(QFile::encodeName(m_dir).constData(), MNT_DETACH);
        }
    }
    TmpfsMount(const TmpfsMount&) = delete;
    TmpfsMount& operator=(const TmpfsMount&) = delete;

    bool ok() const { return m_ok; }
    const std::string& error() const { return m_error; }
    bool RemountReadOnly() {
        return ::mount("tmpfs", QFile::encodeName(m_dir).constData(), "tmpfs", MS_REMOUNT | MS_RDONLY,
                       nullptr) == 0;
    }

  private:
    QString m_dir;
    bool m_ok = false;
    std::string m_error;
};

// While alive, the calling thread obeys file permissions even as root: the capabilities that
// override them leave its effective set (they stay permitted and come back at the end).
class PermissionsEnforced {
  public:
    PermissionsEnforced() {
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        if (::syscall(SYS_capget, &header, m_saved) != 0) {
            return;
        }
        __user_cap_data_struct lowered[2];
        std::memcpy(lowered, m_saved, sizeof lowered);
        lowered[0].effective &=
            ~((1U << CAP_DAC_OVERRIDE) | (1U << CAP_DAC_READ_SEARCH) | (1U << CAP_FOWNER));
        m_active = ::syscall(SYS_capset, &header, lowered) == 0;
    }
    ~PermissionsEnforced() {
        if (m_active) {
            __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
            ::syscall(SYS_capset, &header, m_saved);
        }
    }
    PermissionsEnforced(const PermissionsEnforced&) = delete;
    PermissionsEnforced& operator=(const PermissionsEnforced&) = delete;

    // True when permissions now apply to this thread (also when it never had the capabilities).
    static bool Works(const QString& scratchDir) {
        const QString probe = scratchDir + QLatin1String("/.probe");
        WriteAll(probe, "x");
        QFile::setPermissions(probe, QFileDevice::Permissions());
        bool denied = false;
        {
            PermissionsEnforced enforced;
            const int fd = ::open(QFile::encodeName(probe).constData(), O_RDONLY | O_CLOEXEC);
            denied = fd < 0 && errno == EACCES;
            if (fd >= 0) {
                ::close(fd);
            }
        }
        QFile::setPermissions(probe, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        QFile::remove(probe);
        return denied;
    }

  private:
    __user_cap_data_struct m_saved[2]{};
    bool m_active = false;
};

} // namespace testfs
