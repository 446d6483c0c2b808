// Identities on Linux: sysfs (the tty, its driver, the USB device above it), udev's database and the links in
// /dev/serial/by-id.
#include "PortIdentity.h"

#include <dirent.h>
#include <fcntl.h>
#include <libudev.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <climits>
#include <filesystem>

namespace {

namespace fs = std::filesystem;

std::string ReadLink(const std::string& path) {
    char target[PATH_MAX];
    const ssize_t n = ::readlink(path.c_str(), target, sizeof target - 1);
    return n > 0 ? std::string(target, static_cast<std::size_t>(n)) : std::string();
}

// A sysfs attribute's first line, empty when it is missing.
std::string ReadAttribute(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return {};
    }
    char text[256];
    const ssize_t n = ::read(fd, text, sizeof text - 1);
    ::close(fd);
    if (n <= 0) {
        return {};
    }
    std::string value(text, static_cast<std::size_t>(n));
    if (const auto end = value.find('\n'); end != std::string::npos) {
        value.resize(end);
    }
    while (!value.empty() && value.back() == ' ') {
        value.pop_back();
    }
    return value;
}

bool Exists(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

std::string BaseName(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string DirName(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

// A link's target as a path, relative targets taken from the link's folder. Lexical: the folders on the
// way (/sys/class/tty, /dev/serial/by-id) are real folders, and umockdev's redirection sees every step.
std::string Resolve(const std::string& link, const std::string& target) {
    if (!target.empty() && target[0] == '/') {
        return target;
    }
    return (fs::path(DirName(link)) / target).lexically_normal().string();
}

} // namespace

struct PortIdentityReader::Udev {
    udev* context = nullptr;
    ~Udev() {
        if (context != nullptr) {
            udev_unref(context);
        }
    }
};

PortIdentityReader::PortIdentityReader(std::string sysfsRoot, std::string devRoot)
    : m_sysfsRoot(std::move(sysfsRoot)), m_devRoot(std::move(devRoot)) {
    if (m_sysfsRoot == "/sys") {
        auto u = std::make_unique<Udev>();
        u->context = udev_new();
        if (u->context != nullptr) {
            m_udev = std::move(u);
        }
    }
}

PortIdentityReader::~PortIdentityReader() = default;

std::string PortIdentityReader::KernelName(const std::string& devicePath) const {
    const std::string classDir = m_sysfsRoot + "/class/tty/";
    std::string path = devicePath;
    // A by-id link or a port-folder entry leads to the node through a few links; the first name on the way
    // that sysfs lists as a tty is the device's.
    for (int hop = 0; hop < 8 && !path.empty(); ++hop) {
        const std::string name = BaseName(path);
        if (!name.empty() && name != "." && name != ".." && Exists(classDir + name)) {
            return name;
        }
        const std::string target = ReadLink(path);
        if (target.empty()) {
            break;
        }
        path = Resolve(path, target);
    }
    // A node under another name: the device number tells.
    struct stat st;
    if (::stat(devicePath.c_str(), &st) == 0 && S_ISCHR(st.st_mode)) {
        const std::string link = m_sysfsRoot + "/dev/char/" + std::to_string(major(st.st_rdev)) + ":" +
                                 std::to_string(minor(st.st_rdev));
        const std::string name = BaseName(ReadLink(link));
        if (!name.empty() && Exists(classDir + name)) {
            return name;
        }
    }
    return {};
}

std::string PortIdentityReader::ByIdLinkOf(const std::string& kernelName) const {
    const std::string dir = m_devRoot + "/serial/by-id";
    DIR* d = ::opendir(dir.c_str());
    if (d == nullptr) {
        return {};
    }
    std::string found;
    while (const dirent* e = ::readdir(d)) {
        if (e->d_name[0] == '.') {
            continue;
        }
        const std::string link = dir + "/" + e->d_name;
        if (BaseName(ReadLink(link)) == kernelName) {
            found = link;
            break;
        }
    }
    ::closedir(d);
    return found;
}

PortIdentity PortIdentityReader::Read(const std::string& devicePath) const {
    PortIdentity id;
    id.device = devicePath;
    id.kernelName = KernelName(devicePath);
    if (id.kernelName.empty()) {
        return id;
    }
    // From the tty up through its parents: the driver of the nearest device that has one, and the USB
    // device (the one with idVendor) above a USB adapter's interface. A few levels at most.
    const std::string classLink = m_sysfsRoot + "/class/tty/" + id.kernelName;
    std::string dir = Resolve(classLink, ReadLink(classLink));
    const std::string devices = m_sysfsRoot + "/devices";
    for (int level = 0;
         level < 8 && dir.size() > devices.size() && dir.compare(0, devices.size(), devices) == 0; ++level) {
        if (id.driver.empty()) {
            id.driver = BaseName(ReadLink(dir + "/driver"));
        }
        if (const std::string vendor = ReadAttribute(dir + "/idVendor"); !vendor.empty()) {
            id.vendorId = vendor;
            id.productId = ReadAttribute(dir + "/idProduct");
            id.manufacturer = ReadAttribute(dir + "/manufacturer");
            id.product = ReadAttribute(dir + "/product");
            id.serial = ReadAttribute(dir + "/serial");
            break;
        }
        dir = DirName(dir);
    }
    if (m_udev) {
        if (udev_device* dev =
                udev_device_new_from_subsystem_sysname(m_udev->context, "tty", id.kernelName.c_str())) {
            const auto property = [dev](const char* key) {
                const char* value = udev_device_get_property_value(dev, key);
                return value != nullptr ? std::string(value) : std::string();
            };
            if (id.product.empty()) {
                id.product = property("ID_MODEL_FROM_DATABASE");
            }
            if (id.manufacturer.empty()) {
                id.manufacturer = property("ID_VENDOR_FROM_DATABASE");
            }
            if (id.serial.empty()) {
                id.serial = property("ID_SERIAL_SHORT");
            }
            const std::string ignore = property("ID_MM_DEVICE_IGNORE");
            id.modemManagerIgnores = ignore == "1" || ignore == "true";
            // DEVLINKS: the device's links, separated by spaces.
            const std::string links = property("DEVLINKS");
            const std::string byId = m_devRoot + "/serial/by-id/";
            for (std::size_t start = 0; start < links.size() && id.byIdLink.empty();) {
                std::size_t end = links.find(' ', start);
                end = end == std::string::npos ? links.size() : end;
                if (links.compare(start, byId.size(), byId) == 0) {
                    id.byIdLink = links.substr(start, end - start);
                }
                start = end + 1;
            }
            udev_device_unref(dev);
        }
    }
    if (id.byIdLink.empty()) {
        id.byIdLink = ByIdLinkOf(id.kernelName);
    }
    return id;
}
