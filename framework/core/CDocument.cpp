#include "CDocument.h"

#include "CViewBase.h"
#include "StringTable.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

CDocument::CDocument() : m_title(LoadString(AFX_IDS_UNTITLED)) {}

CDocument::~CDocument() {
    for (CViewBase* view : m_views) {
        view->m_pDocument = nullptr;
    }
}

void CDocument::SetModifiedFlag(bool modified) {
    if (m_modified != modified) {
        m_modified = modified;
        emit modifiedChanged(modified);
    }
}

void CDocument::SetPathName(const QString& path) {
    const QFileInfo info(path);
    m_pathName = info.absoluteFilePath();
    SetTitle(info.fileName());
}

void CDocument::ClearPathName() {
    m_pathName.clear();
}

void CDocument::SetTitle(const QString& title) {
    if (m_title != title) {
        m_title = title;
    }
    emit titleChanged(m_title);
}

void CDocument::AddView(CViewBase* view) {
    if (view->m_pDocument == this) {
        return;
    }
    if (view->m_pDocument != nullptr) {
        view->m_pDocument->RemoveView(view);
    }
    m_views.push_back(view);
    view->m_pDocument = this;
}

void CDocument::RemoveView(CViewBase* view) {
    const auto it = std::find(m_views.begin(), m_views.end(), view);
    if (it != m_views.end()) {
        m_views.erase(it);
        view->m_pDocument = nullptr;
    }
}

void CDocument::UpdateAllViews(CViewBase* sender, long hint) {
    // Copy: an update may not add or remove views, but be safe against it.
    const std::vector<CViewBase*> views = m_views;
    for (CViewBase* view : views) {
        if (view != sender) {
            view->OnUpdate(sender, hint);
        }
    }
}

void CDocument::SendInitialUpdate() {
    const std::vector<CViewBase*> views = m_views;
    for (CViewBase* view : views) {
        view->OnInitialUpdate();
    }
}

bool CDocument::OnNewDocument() {
    DeleteContents();
    m_pathName.clear();
    SetModifiedFlag(false);
    return true;
}

CDocument::ReadResult CDocument::OnOpenDocument(const QString& path, FileError* error) {
    FileError dummy;
    FileError& err = error != nullptr ? *error : dummy;
    err = FileError();

    const QByteArray native = QFile::encodeName(path);
    // Non-blocking so that a FIFO or a device without data can't hang the open.
    const int fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        const int e = errno;
        err = MakeFileError(FileErrorIdForOpen(e), e, path);
        return ReadResult::OpenFailed;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        const int e = S_ISDIR(st.st_mode) ? EISDIR : errno;
        ::close(fd);
        err = MakeFileError(FileErrorIdForOpen(e), e, path);
        return ReadResult::OpenFailed;
    }
    // Other writers excluded while we read: a program holding a write lock makes this a sharing
    // violation instead of a half-written read.
    if (::flock(fd, LOCK_SH | LOCK_NB) != 0) {
        const int e = errno;
        ::close(fd);
        err = MakeFileError(FileErrorIdForOpen(e), e, path);
        return ReadResult::OpenFailed;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);

    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        err = MakeFileError(AFX_IDP_FILE_GENERIC, 0, path);
        return ReadResult::OpenFailed;
    }

    DeleteContents();
    SetModifiedFlag(true); // stays set when the read fails part way
    const bool empty = S_ISREG(st.st_mode) && st.st_size == 0;
    if (!empty) {
        CArchive ar(&file);
        try {
            Serialize(ar);
        } catch (const CArchiveException&) {
            err.stringId = AFX_IDP_FAILED_INVALID_FORMAT;
            err.message = LoadString(AFX_IDP_FAILED_INVALID_FORMAT);
            return ReadResult::ReadFailed;
        }
    }
    SetModifiedFlag(false);
    return ReadResult::Ok;
}

namespace {

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

bool CDocument::OnSaveDocument(const QString& path, FileError* error) {
    FileError dummy;
    FileError& err = error != nullptr ? *error : dummy;
    err = FileError();

    CArchive ar;
    Serialize(ar);
    const QByteArray bytes = ar.bytes();

    // Write through a link to its target, so that the link stays a link.
    QString target = path;
    const QFileInfo info(path);
    if (info.isSymLink() && info.exists()) {
        target = info.canonicalFilePath();
    }
    if (QFileInfo(target).isDir()) {
        err = MakeFileError(AFX_IDP_FILE_ACCESS_DENIED, EISDIR, path);
        return false;
    }
    // A file the user may not write stays as it is, although the folder would let us replace it.
    // Opening it for writing (without truncating) asks the system exactly that question.
    const QByteArray nativeTarget = QFile::encodeName(target);
    struct stat old {};
    if (::stat(nativeTarget.constData(), &old) == 0 && S_ISREG(old.st_mode)) {
        const int probe = ::open(nativeTarget.constData(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (probe < 0) {
            const int e = errno;
            err = MakeFileError(FileErrorIdForOpen(e), e, path);
            return false;
        }
        ::close(probe);
    }
    const QFileInfo targetInfo(target);
    QByteArray tmpl = QFile::encodeName(targetInfo.absolutePath() + QLatin1String("/.") +
                                        targetInfo.fileName() + QLatin1String(".XXXXXX"));
    const int fd = ::mkostemp(tmpl.data(), O_CLOEXEC);
    if (fd < 0) {
        const int e = errno;
        const UINT id = FileErrorIdForOpen(e);
        err = MakeFileError(id == AFX_IDP_FILE_NOT_FOUND ? AFX_IDP_FILE_BAD_PATH : id, e, path);
        return false;
    }
    // Keep the permissions of the file being replaced; a new file gets the usual 0666 less umask.
    struct stat st {};
    mode_t mode = 0;
    if (::stat(QFile::encodeName(target).constData(), &st) == 0) {
        mode = st.st_mode & 07777;
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
        err = WriteFailure(e, path);
        return false;
    }
    if (::close(fd) != 0) {
        const int e = errno;
        ::unlink(tmpl.constData());
        err = WriteFailure(e, path);
        return false;
    }
    if (::rename(tmpl.constData(), QFile::encodeName(target).constData()) != 0) {
        const int e = errno;
        ::unlink(tmpl.constData());
        err = WriteFailure(e, path);
        return false;
    }
    // Make the rename itself durable.
    const int dirFd =
        ::open(QFile::encodeName(targetInfo.absolutePath()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    SetModifiedFlag(false);
    return true;
}
