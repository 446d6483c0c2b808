#include "FileAccess.h"

#include "FileName.h"
#include "RegularFile.h"
#include "StringTable.h"

#include <QFile>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Only a regular file is read whole or replaced. A read from a FIFO, a socket, a terminal or most
// devices can wait for ever; a rename over one would put a plain file in its place (through a link
// to /dev/null, in the system's). 0 for a regular file; otherwise the message a reader gets (a save
// is denied access to any of them).
UINT RefusedKind(mode_t mode) {
    if (S_ISREG(mode)) {
        return 0;
    }
    if (S_ISDIR(mode)) {
        return AFX_IDP_FILE_ACCESS_DENIED;
    }
    if (S_ISFIFO(mode)) {
        return AFX_IDP_FILE_IS_FIFO;
    }
    if (S_ISSOCK(mode)) {
        return AFX_IDP_FILE_IS_SOCKET;
    }
    return AFX_IDP_FILE_IS_DEVICE; // character or block
}

// The failure for a file that is no regular one: the message id, and its kind.
FileError Refused(UINT id, mode_t mode, const QString& path) {
    FileError e = MakeFileError(id, 0, path);
    e.refusedKind = FileKindName(mode);
    return e;
}

bool Fail(FileError* error, FileError failure) {
    if (error != nullptr) {
        *error = std::move(failure);
    }
    return false;
}

bool WriteAll(int fd, const char* data, qsizetype size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, static_cast<size_t>(size));
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data += n;
        size -= n;
    }
    return true;
}

FileError WriteFailure(int e, const QString& path) {
    const UINT id = FileErrorIdForWrite(e);
    if (id != 0) {
        return MakeFileError(id, e, path);
    }
    FileError err;
    err.stringId = AFX_IDP_FAILED_TO_SAVE_DOC;
    err.sysError = e;
    err.message = LoadString(AFX_IDP_FAILED_TO_SAVE_DOC);
    return err;
}

} // namespace

int OpenRegularFile(const QString& path, int flags, FileError* error) {
    if (error != nullptr) {
        *error = FileError();
    }
    const RegularFileOpen opened = OpenRegularFileNoWait(EncodeFileName(path).toStdString(), flags);
    if (opened.refused != 0) {
        Fail(error, Refused(RefusedKind(opened.refused), opened.refused, path));
        return -1;
    }
    if (opened.fd < 0) {
        const int e = opened.error;
        const UINT id = (flags & O_ACCMODE) == O_RDONLY ? FileErrorIdForOpen(e) : FileErrorIdForWrite(e);
        Fail(error, MakeFileError(id != 0 ? id : AFX_IDP_FILE_GENERIC, e, path));
        return -1;
    }
    return opened.fd;
}

bool SameFile(const QString& a, const QString& b) {
    struct stat sa {
    }, sb{};
    return ::stat(EncodeFileName(a).constData(), &sa) == 0 &&
           ::stat(EncodeFileName(b).constData(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

bool OpenForReading(const QString& path, QFile& file, bool* empty, FileError* error) {
    const int fd = OpenRegularFile(path, O_RDONLY, error);
    if (fd < 0) {
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || ::flock(fd, LOCK_SH | LOCK_NB) != 0) {
        const int e = errno;
        ::close(fd);
        return Fail(error, MakeFileError(FileErrorIdForOpen(e), e, path));
    }
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return Fail(error, MakeFileError(AFX_IDP_FILE_GENERIC, 0, path));
    }
    if (empty != nullptr) {
        *empty = st.st_size == 0;
    }
    return true;
}

bool AtomicSave(const QString& path, const QByteArray& bytes, FileError* error) {
    if (error != nullptr) {
        *error = FileError();
    }
    // Write through a link to its target, so that the link stays a link. A dangling link is replaced.
    QByteArray nativeTarget = EncodeFileName(path);
    struct stat old {};
    if (::lstat(nativeTarget.constData(), &old) == 0 && S_ISLNK(old.st_mode)) {
        if (char* real = ::realpath(nativeTarget.constData(), nullptr)) {
            nativeTarget = real;
            std::free(real);
        }
    }
    const qsizetype slash = nativeTarget.lastIndexOf('/');
    const QByteArray folder = slash < 0    ? QByteArray(".")
                              : slash == 0 ? QByteArray("/")
                                           : nativeTarget.left(slash);
    const QByteArray baseName = nativeTarget.mid(slash + 1);
    const bool replacing = ::stat(nativeTarget.constData(), &old) == 0;
    if (replacing) {
        if (RefusedKind(old.st_mode) != 0) {
            return Fail(error, Refused(AFX_IDP_FILE_ACCESS_DENIED, old.st_mode, path));
        }
        // A file the user may not write stays as it is, although the folder would let us replace it.
        // Opening it for writing (without truncating) asks the system exactly that question.
        const int probe = ::open(nativeTarget.constData(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (probe < 0) {
            const int e = errno;
            return Fail(error, MakeFileError(FileErrorIdForOpen(e), e, path));
        }
        ::close(probe);
    }
    QByteArray tmpl = folder + "/." + baseName + ".XXXXXX";
    const int fd = ::mkostemp(tmpl.data(), O_CLOEXEC);
    if (fd < 0) {
        const int e = errno;
        const UINT id = FileErrorIdForOpen(e);
        return Fail(error, MakeFileError(id == AFX_IDP_FILE_NOT_FOUND ? AFX_IDP_FILE_BAD_PATH : id, e, path));
    }
    // Keep the permissions of the file being replaced; a new file gets the usual 0666 less umask.
    mode_t mode = 0;
    if (replacing) {
        mode = old.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    ::fchmod(fd, mode);

    if (!WriteAll(fd, bytes.constData(), bytes.size()) || ::fsync(fd) != 0) {
        const int e = errno;
        ::close(fd);
        ::unlink(tmpl.constData());
        return Fail(error, WriteFailure(e, path));
    }
    if (::close(fd) != 0) {
        const int e = errno;
        ::unlink(tmpl.constData());
        return Fail(error, WriteFailure(e, path));
    }
    if (::rename(tmpl.constData(), nativeTarget.constData()) != 0) {
        const int e = errno;
        ::unlink(tmpl.constData());
        return Fail(error, WriteFailure(e, path));
    }
    // Make the rename itself durable.
    const int dirFd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return true;
}

QString RefusedKindText(const FileError& error) {
    if (error.refusedKind == nullptr) {
        return QString();
    }
    return QStringLiteral("it is %1, not a regular file").arg(QLatin1String(error.refusedKind));
}
