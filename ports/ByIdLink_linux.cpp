#include "ByIdLink.h"

#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

std::string ByIdLinkFor(const std::string& devicePath) {
    return ByIdLinkFor(devicePath, "/dev/serial/by-id");
}

std::string ByIdLinkFor(const std::string& devicePath, const std::string& byIdDir) {
    std::error_code ec;
    const fs::path device = fs::canonical(devicePath, ec);
    if (ec) {
        return {};
    }
    fs::directory_iterator it(byIdDir, ec);
    if (ec) {
        return {};
    }
    for (const fs::directory_entry& entry : it) {
        std::error_code ignored;
        if (entry.is_symlink(ignored) && fs::canonical(entry.path(), ignored) == device && !ignored) {
            return entry.path().string();
        }
    }
    return {};
}
