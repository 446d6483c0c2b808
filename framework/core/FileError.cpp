#include "FileError.h"

#include "FileName.h"
#include "StringTable.h"

#include <QDir>

#include <cerrno>

UINT FileErrorIdForOpen(int err) {
    switch (err) {
    case ENOENT:
        return AFX_IDP_FILE_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS:
        return AFX_IDP_FILE_ACCESS_DENIED;
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
    case EINVAL:
        return AFX_IDP_FILE_BAD_PATH;
    case EMFILE:
    case ENFILE:
        return AFX_IDP_FILE_TOO_MANY_OPEN;
    case EWOULDBLOCK:
    case ETXTBSY:
    case EBUSY:
        return AFX_IDP_FILE_SHARING;
    case EIO:
        return AFX_IDP_FILE_HARD_IO;
    case ENOSPC:
    case EDQUOT:
        return AFX_IDP_FILE_DISKFULL;
    default:
        return AFX_IDP_FILE_GENERIC;
    }
}

UINT FileErrorIdForWrite(int err) {
    switch (err) {
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return AFX_IDP_FILE_DISKFULL;
    case EIO:
        return AFX_IDP_FILE_HARD_IO;
    case ENOENT:
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
        return AFX_IDP_FILE_BAD_PATH;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
        return AFX_IDP_FILE_ACCESS_DENIED;
    case EMFILE:
    case ENFILE:
        return AFX_IDP_FILE_TOO_MANY_OPEN;
    default:
        return 0;
    }
}

FileError MakeFileError(UINT stringId, int sysError, const QString& path) {
    FileError e;
    e.stringId = stringId;
    e.sysError = sysError;
    e.message = FormatString1(stringId, DisplayFileName(QDir::toNativeSeparators(path)));
    return e;
}
