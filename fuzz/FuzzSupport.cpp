#include "FuzzSupport.h"

#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <fcntl.h>
#include <ftw.h>
#include <sanitizer/common_interface_defs.h>
#include <unistd.h>

namespace fuzz {

namespace {

std::vector<std::string>& ScratchDirs() {
    static std::vector<std::string> dirs;
    return dirs;
}

void RemoveScratchDirs() {
    for (const std::string& d : ScratchDirs()) {
        RemoveTree(d);
    }
}

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) {
    ::remove(path);
    return 0;
}

} // namespace

void Fail(const char* file, int line, const char* cond, const char* format, ...) {
    char what[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(what, sizeof what, format, args);
    va_end(args);
    char summary[1600];
    std::snprintf(summary, sizeof summary, "fuzz check failed at %s:%d: %s: %s", file, line, cond, what);
    __sanitizer_report_error_summary(summary);
    std::abort();
}

bool CheckKnownFaults() {
    static const bool check = [] {
        const char* v = std::getenv("KAVO_FUZZ_KNOWN_FAULTS");
        return v != nullptr && std::strcmp(v, "1") == 0;
    }();
    return check;
}

std::string MakeScratchDir(const char* name) {
    const char* tmp = std::getenv("TMPDIR");
    std::string tmpl =
        std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/kavo-fuzz-" + name + "-XXXXXX";
    if (::mkdtemp(tmpl.data()) == nullptr) {
        std::fprintf(stderr, "cannot create a scratch folder %s: %s\n", tmpl.c_str(), std::strerror(errno));
        std::abort();
    }
    if (ScratchDirs().empty()) {
        std::atexit(RemoveScratchDirs);
    }
    ScratchDirs().push_back(tmpl);
    return tmpl;
}

void RemoveTree(const std::string& path) {
    ::nftw(path.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
}

bool TryWriteFile(const std::string& path, const std::uint8_t* data, std::size_t size) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        return false;
    }
    bool ok = true;
    while (size > 0 && ok) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        ok = n > 0;
        if (ok) {
            data += n;
            size -= static_cast<std::size_t>(n);
        }
    }
    return ::close(fd) == 0 && ok;
}

void WriteFile(const std::string& path, const std::uint8_t* data, std::size_t size) {
    if (!TryWriteFile(path, data, size)) {
        std::fprintf(stderr, "cannot write %s: %s\n", path.c_str(), std::strerror(errno));
        std::abort();
    }
}

std::vector<std::string> SplitAtNul(const std::uint8_t* data, std::size_t size, std::size_t maxParts) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start < size && parts.size() < maxParts) {
        std::size_t end = start;
        while (end < size && data[end] != 0) {
            ++end;
        }
        parts.emplace_back(reinterpret_cast<const char*>(data + start), end - start);
        start = end + 1;
    }
    return parts;
}

} // namespace fuzz
