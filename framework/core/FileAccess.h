#pragma once

#include "FileError.h"

#include <QByteArray>
#include <QString>

class QFile;

// Reading and replacing whole files without any user interaction: the document's open and save, the
// desktop's registration files. Paths are file names as FileName.h decodes them (any bytes). Failures
// come back as a FileError whose message shows path as given. Which kinds of file may be read or
// replaced at all (regular files only, a link to one included) is decided in one place in
// FileAccess.cpp, for both.

// Opens path for reading into file, other writers excluded until file is closed: a program holding
// a write lock on it makes this a sharing violation instead of a half-written read. A FIFO, a socket
// or a device (a terminal included) is refused at once, by its kind ("... is a FIFO, not a document
// file."), and never opened. *empty tells a file of length 0 (nothing to read).
bool OpenForReading(const QString& path, QFile& file, bool* empty, FileError* error);

// The guard under OpenForReading, for files read or appended to by descriptor (the journal): opens path
// with flags (O_RDONLY, or O_WRONLY | O_APPEND | O_CREAT) without waiting for anything (non-blocking, so a
// FIFO cannot hold the caller; no controlling terminal) and keeps it only when it is a regular file. The
// descriptor comes back blocking and close-on-exec; -1 otherwise, with *error: the open's failure
// (sysError set), or a FIFO, socket or device refused by its kind (AFX_IDP_FILE_IS_FIFO, ..._IS_SOCKET,
// ..._IS_DEVICE) and a folder as AFX_IDP_FILE_ACCESS_DENIED, sysError 0. A device is refused before it is
// opened, since opening one can act on it.
int OpenRegularFile(const QString& path, int flags, FileError* error);

// For a file refused by its kind (OpenRegularFile, AtomicSave): "it is a FIFO, not a regular file" (a
// socket, a device, a folder), in English for the command line; empty for any other failure.
QString RefusedKindText(const FileError& error);

// Whether the two names lead to the same file (device and inode, through links); false when either
// can't be looked at.
bool SameFile(const QString& a, const QString& b);

// Replaces the file at path with bytes in one step: they go to a temporary file in the same folder,
// which is renamed over the target once every byte is on disk, and the folder is synced so that the
// rename lasts. On failure the old file is byte for byte as it was and no temporary file is left.
// A link is written through (it stays a link); a new file gets 0666 less the umask, a replaced one
// keeps its permissions. A target the user may not write (read-only, immutable) is refused even where
// the folder would let it be replaced; so is one that is no regular file (a FIFO, a device, a folder,
// or a link to one), before anything is written.
bool AtomicSave(const QString& path, const QByteArray& bytes, FileError* error = nullptr);
