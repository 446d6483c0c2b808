#pragma once

#include <string>
#include <sys/types.h>

// The one guard for files another program could replace (lock files, the journal, a recipe): they are
// opened without waiting for anything and kept only when they are regular files. A FIFO opened for reading
// waits for a writer, a terminal or a device can act on the open, so any of them in a file's place is
// refused by its kind instead of being opened or read.

struct RegularFileOpen {
    int fd = -1;        // blocking and close-on-exec; -1 when refused or failed
    int error = 0;      // errno of the open that failed; 0 when refused by kind or opened
    mode_t refused = 0; // the file type found in its place (S_IFIFO, S_IFDIR, ...), 0 when none was refused
};

// Opens path with flags (O_RDONLY, or O_WRONLY | O_APPEND | O_CREAT, ...) non-blocking, without a
// controlling terminal, and keeps the descriptor only when it is a regular file. A device is refused before
// it is opened. With followLinks false a link in the last place is refused as S_IFLNK (never followed).
RegularFileOpen OpenRegularFileNoWait(const std::string& path, int flags, bool followLinks = true);

// "a FIFO", "a folder", "a socket", "a device", "a symbolic link" for a refused file type (English).
const char* FileKindName(mode_t type);

// Reads at most maxBytes from the start of fd, retrying interrupted reads. Empty on a read failure.
std::string ReadAtMost(int fd, std::size_t maxBytes);
