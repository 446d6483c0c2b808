#include "FileAccess.h"

#include "StringTable.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The kinds of file a whole file is read from or replaced: 0 when mode is one, otherwise the errno
// that tells why not.
int RefusedKind(mode_t mode) {
    return S_ISDIR(mode) ? EISDIR : 0;
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

bool OpenForReading(const QString& path, QFile& file, bool* empty, FileError* error) {
    if (error != nullptr) {
        *error = FileError();
    }
    const QByteArray native = QFile::encodeName(path);
    // Non-blocking so that a FIFO or a device without data can't hang the open.
    const int fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        const int e = errno;
        return Fail(error, MakeFileError(FileErrorIdForOpen(e), e, path));
    }
    auto refuse = [&](int e) {
        ::close(fd);
        return Fail(error, MakeFileError(FileErrorIdForOpen(e), e, path));
    };
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        return refuse(errno);
    }
    if (const int e = RefusedKind(st.st_mode); e != 0) {
        return refuse(e);
    }
    if (::flock(fd, LOCK_SH | LOCK_NB) != 0) {
        return refuse(errno);
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);

    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return Fail(error, MakeFileError(AFX_IDP_FILE_GENERIC, 0, path));
    }
    if (empty != nullptr) {
        *empty = S_ISREG(st.st_mode) && st.st_size == 0;
    }
    return true;
}

bool AtomicSave(const QString& path, const QByteArray& bytes, FileError* error) {
    if (error != nullptr) {
        *error = FileError();
    }
    // Write through a link to its target, so that the link stays a link.
    QString target = path;
    const QFileInfo info(path);
    if (info.isSymLink() && info.exists()) {
        target = info.canonicalFilePath();
    }
    const QFileInfo targetInfo(target);
    const QByteArray nativeTarget = QFile::encodeName(target);
    struct stat old {};
    const bool replacing = ::stat(nativeTarget.constData(), &old) == 0;
    if (replacing) {
        if (const int e = RefusedKind(old.st_mode); e != 0) {
            return Fail(error, MakeFileError(FileErrorIdForOpen(e), e, path));
        }
        // A file the user may not write stays as it is, although the folder would let us replace it.
        // Opening it for writing (without truncating) asks the system exactly that question.
        if (S_ISREG(old.st_mode)) {
            const int probe = ::open(nativeTarget.constData(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
            if (probe < 0) {
                const int e = errno;
                return Fail(error, MakeFileError(FileErrorIdForOpen(e), e, path));
            }
            ::close(probe);
        }
    }
    QByteArray tmpl = QFile::encodeName(targetInfo.absolutePath() + QLatin1String("/.") +
                                        targetInfo.fileName() + QLatin1String(".XXXXXX"));
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
    const int dirFd =
        ::open(QFile::encodeName(targetInfo.absolutePath()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return true;
}
