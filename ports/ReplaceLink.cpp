#include "ReplaceLink.h"

#include <cerrno>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

int ReplaceLink(const std::string& path, const std::string& target) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) {
        return EEXIST;
    }
    const std::string::size_type slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    const std::string base = path.substr(slash == std::string::npos ? 0 : slash + 1);
    // A temporary name of this call's own: two programs replacing the same link never take each other's.
    std::random_device random;
    std::string temporary;
    int e = EEXIST;
    for (int round = 0; round < 16 && e == EEXIST; ++round) {
        temporary = folder + "/." + base + "." + std::to_string(random() % 1000000000u);
        e = ::symlink(target.c_str(), temporary.c_str()) == 0 ? 0 : errno;
    }
    if (e != 0) {
        return e;
    }
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        e = errno;
        ::unlink(temporary.c_str());
        return e;
    }
    const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return 0;
}
