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

// Replaces the file at path with bytes in one step: they go to a temporary file in the same folder,
// which is renamed over the target once every byte is on disk, and the folder is synced so that the
// rename lasts. On failure the old file is byte for byte as it was and no temporary file is left.
// A link is written through (it stays a link); a new file gets 0666 less the umask, a replaced one
// keeps its permissions. A target the user may not write (read-only, immutable) is refused even where
// the folder would let it be replaced; so is one that is no regular file (a FIFO, a device, a folder,
// or a link to one), before anything is written.
bool AtomicSave(const QString& path, const QByteArray& bytes, FileError* error = nullptr);
