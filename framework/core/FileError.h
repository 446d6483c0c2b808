#pragma once

#include "CommandIds.h"

#include <QString>

// Why a file could not be read or written: the string-table message and the system's errno.
struct FileError {
    UINT stringId = 0; // 0: no error
    int sysError = 0;  // errno where the failure happened, 0 when not a system failure
    QString message;   // the text shown to the user, the path already in it
    // A file refused for what it is rather than a failure of the system: "a FIFO", "a socket", "a device"
    // or "a folder" (English, for the command line); nullptr otherwise.
    const char* refusedKind = nullptr;

    bool ok() const { return stringId == 0; }
};

// The message id for a failure to open a file for reading.
UINT FileErrorIdForOpen(int err);
// The message id for a failure to create or write a file; 0 when only the general
// "Failed to save document." fits.
UINT FileErrorIdForWrite(int err);

// A FileError with its message formatted for path, shown as DisplayFileName shows it.
FileError MakeFileError(UINT stringId, int sysError, const QString& path);
