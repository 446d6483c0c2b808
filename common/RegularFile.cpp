#include "RegularFile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

RegularFileOpen OpenRegularFileNoWait(const std::string& path, int flags, bool followLinks) {
    RegularFileOpen result;
    // Look before opening: opening a device can act on it (a serial line raises its modem lines, /dev/ptmx
    // makes a new terminal). A name that can't be looked at is left to the open to explain.
    struct stat st {};
    if ((followLinks ? ::stat(path.c_str(), &st) : ::lstat(path.c_str(), &st)) == 0 && !S_ISREG(st.st_mode)) {
        result.refused = st.st_mode & S_IFMT;
        return result;
    }
    // Non-blocking and no controlling terminal, should the name have become a FIFO or a terminal since.
    const int fd = ::open(path.c_str(),
                          flags | O_CLOEXEC | O_NONBLOCK | O_NOCTTY | (followLinks ? 0 : O_NOFOLLOW), 0666);
    if (fd < 0) {
        result.error = errno;
        if (result.error == ELOOP && !followLinks) {
            result.error = 0;
            result.refused = S_IFLNK;
        }
        return result;
    }
    if (::fstat(fd, &st) != 0) {
        result.error = errno;
        ::close(fd);
        return result;
    }
    if (!S_ISREG(st.st_mode)) {
        result.refused = st.st_mode & S_IFMT;
        ::close(fd);
        return result;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    result.fd = fd;
    return result;
}

const char* FileKindName(mode_t type) {
    switch (type & S_IFMT) {
    case S_IFDIR:
        return "a folder";
    case S_IFIFO:
        return "a FIFO";
    case S_IFSOCK:
        return "a socket";
    case S_IFLNK:
        return "a symbolic link";
    case S_IFREG:
        return "a regular file";
    default:
        return "a device"; // character or block
    }
}

std::string ReadAtMost(int fd, std::size_t maxBytes) {
    std::string bytes(maxBytes, '\0');
    std::size_t got = 0;
    while (got < maxBytes) {
        const ssize_t n = ::read(fd, bytes.data() + got, maxBytes - got);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return {};
        }
        if (n == 0) {
            break;
        }
        got += static_cast<std::size_t>(n);
    }
    bytes.resize(got);
    return bytes;
}
