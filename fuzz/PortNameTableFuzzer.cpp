// A port folder, a /dev and a sysfs tree built from the input, then port discovery over all of them.
//
// Input: one byte of flags (bit 0: no port folder at all), then entries, each a kind byte and its strings
// (a length byte and that many bytes):
//   kind & 7 = 0  link in the port folder:   name, target
//              1  file in the port folder:   name
//              2  folder in the port folder: name
//              3  device node in /dev: name
//              4  sysfs type of ttySn: n, content
//              5  link in /dev: name, target
//              6  lock file in the port folder: name ("COMn.lock" with bit 3), content   (7 counts as 0)
// Kind bit 3 makes a name "COM" + a number byte (a device name ttyS/ttyUSB/ttyACM + a number for kinds 3
// and 5) in place of raw bytes; bit 4 makes a link target absolute inside the tree; bit 5 makes a device
// node a FIFO. Names never hold '/'. A device node is otherwise a link to /dev/null, the one character
// device a user can point at; a FIFO is no port, and opening one blocks, so a lookup that opened a node
// would hang the run. No lock file is held (no controller runs).
//
// Properties: the list holds "COMn", n <= 254, in increasing order, exactly the names devicePath finds;
// every path found is a character device; a name whose entry in the port folder leads to anything else is
// absent, and so is one whose lock file is empty or names the entry's target; PortNumber accepts only the
// canonical spelling of a number.

#include "FuzzSupport.h"
#include "PortNameTable.h"

#include <algorithm>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct Reader {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t pos = 0;

    bool More() const { return pos < size; }
    std::uint8_t Byte() { return pos < size ? data[pos++] : 0; }
    std::string String() {
        const std::size_t len = std::min<std::size_t>(Byte(), size - pos);
        std::string s(reinterpret_cast<const char*>(data + pos), len);
        pos += len;
        s.erase(std::remove(s.begin(), s.end(), '\0'), s.end());
        return s;
    }
};

std::string FileName(std::string s) {
    std::replace(s.begin(), s.end(), '/', '_');
    if (s.empty() || s == "." || s == "..") {
        s += "_";
    }
    return s;
}

std::string DeviceName(Reader& in) {
    static const char* const kPrefixes[] = {"ttyS", "ttyUSB", "ttyACM"};
    const std::uint8_t b = in.Byte();
    return kPrefixes[b % 3] + std::to_string((b / 3) % 34);
}

// The built-in name of a device node: COM1..32 = ttyS0..31, COM33..64 = ttyUSB0..31, COM65..96 = ttyACM0..31.
std::optional<unsigned> PortForDevice(const std::string& node) {
    static const struct {
        const char* prefix;
        unsigned first;
    } kBlocks[] = {{"ttyS", 1}, {"ttyUSB", 33}, {"ttyACM", 65}};
    for (const auto& b : kBlocks) {
        const std::string_view prefix(b.prefix);
        if (node.size() > prefix.size() && node.compare(0, prefix.size(), prefix) == 0) {
            const auto n = PortNameTable::PortNumber("COM" + node.substr(prefix.size()));
            if (n && *n < 32) {
                return b.first + *n;
            }
        }
    }
    return std::nullopt;
}

// The content of a lock file that is a regular file itself (not through a link).
bool ReadLockFile(const std::string& path, std::string& content) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return false;
    }
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        return false;
    }
    char buf[4096];
    const ssize_t n = ::read(fd, buf, sizeof buf);
    ::close(fd);
    content.assign(buf, n > 0 ? static_cast<std::size_t>(n) : 0);
    return n >= 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string scratch = fuzz::MakeScratchDir("ports");
    const std::string root = scratch + "/t";
    const std::string ports = root + "/ports";
    const std::string dev = root + "/dev";
    const std::string sys = root + "/sys";
    fuzz::RemoveTree(root);
    ::mkdir(root.c_str(), 0755);
    ::mkdir(dev.c_str(), 0755);
    ::mkdir(sys.c_str(), 0755);
    ::mkdir((sys + "/class").c_str(), 0755);
    ::mkdir((sys + "/class/tty").c_str(), 0755);

    Reader in{data, size};
    if ((in.Byte() & 1) == 0) {
        ::mkdir(ports.c_str(), 0755);
    }
    std::vector<std::string> names;   // port folder names as given, for PortNumber and devicePath
    std::vector<unsigned> candidates; // port numbers that have an entry or a device node
    for (int entries = 0; in.More() && entries < 32; ++entries) {
        const std::uint8_t flags = in.Byte();
        const int kind = (flags & 0x07) % 7;
        const bool canonical = (flags & 0x08) != 0;
        const bool absolute = (flags & 0x10) != 0;
        const bool fifo = (flags & 0x20) != 0;
        std::string name;
        if (kind == 3 || kind == 5) {
            name = canonical ? DeviceName(in) : FileName(in.String());
            if (const auto n = PortForDevice(name)) {
                candidates.push_back(*n);
            }
        } else if (kind == 6) {
            name = canonical ? "COM" + std::to_string(in.Byte()) + ".lock" : FileName(in.String());
        } else if (kind != 4) {
            name = canonical ? "COM" + std::to_string(in.Byte()) : FileName(in.String());
            names.push_back(name);
            if (const auto n = PortNameTable::PortNumber(name)) {
                candidates.push_back(*n);
            }
        }
        switch (kind) {
        case 0:
        case 5: {
            const std::string target = in.String();
            const std::string link = (kind == 0 ? ports : dev) + "/" + name;
            ::symlink((absolute ? root + "/" + target : target).c_str(), link.c_str());
            break;
        }
        case 1:
            fuzz::TryWriteFile(ports + "/" + name, nullptr, 0);
            break;
        case 2:
            ::mkdir((ports + "/" + name).c_str(), 0755);
            break;
        case 3:
            if (fifo) {
                ::mkfifo((dev + "/" + name).c_str(), 0644);
            } else {
                ::symlink("/dev/null", (dev + "/" + name).c_str());
            }
            break;
        case 4: {
            const std::string tty = sys + "/class/tty/ttyS" + std::to_string(in.Byte() % 34);
            const std::string type = in.String();
            ::mkdir(tty.c_str(), 0755);
            fuzz::TryWriteFile(tty + "/type", reinterpret_cast<const std::uint8_t*>(type.data()),
                               type.size());
            break;
        }
        case 6: {
            const std::string content = in.String();
            fuzz::TryWriteFile(ports + "/" + name, reinterpret_cast<const std::uint8_t*>(content.data()),
                               content.size());
            break;
        }
        }
    }

    const PortNameTable table(ports, sys, dev);
    std::vector<std::string> list{"COM999"}; // EnumeratePorts appends
    const bool found = EnumeratePorts(table, list);
    list.erase(list.begin());
    FUZZ_CHECK(found == !list.empty(), "EnumeratePorts said %d for %zu names", found, list.size());

    std::optional<unsigned> previous;
    for (const std::string& name : list) {
        const std::optional<unsigned> number = PortNameTable::PortNumber(name);
        FUZZ_CHECK(number && *number <= kLastPortNumber && (!previous || *number > *previous) &&
                       std::find(candidates.begin(), candidates.end(), *number) != candidates.end(),
                   "'%s' listed out of place or without an entry", name.c_str());
        previous = number;
    }
    // Only a name with an entry in the port folder or a device node can be present: checking those
    // covers every name without probing all 255 twice.
    for (unsigned n : candidates) {
        const std::string name = "COM" + std::to_string(n);
        const std::optional<std::string> path = table.devicePath(name);
        const bool listed = std::find(list.begin(), list.end(), name) != list.end();
        FUZZ_CHECK(listed == (path.has_value() && n <= kLastPortNumber), "%s listed %d, found %d",
                   name.c_str(), listed, path.has_value());
        struct stat st {};
        const std::string entry = ports + "/" + name;
        if (::lstat(entry.c_str(), &st) == 0) {
            if (::stat(entry.c_str(), &st) != 0 || !S_ISCHR(st.st_mode)) {
                FUZZ_CHECK(!path,
                           "%s: entry in the port folder leads to no character device, yet found as %s",
                           name.c_str(), path->c_str());
            }
            std::string lock;
            char target[4096];
            const ssize_t n = ::readlink(entry.c_str(), target, sizeof target);
            if (n > 0 && ReadLockFile(entry + ".lock", lock)) {
                if (!lock.empty() && lock.back() == '\n') {
                    lock.pop_back();
                }
                FUZZ_CHECK(!path ||
                               !(lock.empty() || lock == std::string(target, static_cast<std::size_t>(n))),
                           "%s: its lock file '%s' is free, yet found as %s", name.c_str(), lock.c_str(),
                           path->c_str());
            }
        }
        if (path) {
            FUZZ_CHECK(::stat(path->c_str(), &st) == 0 && S_ISCHR(st.st_mode),
                       "%s found as %s, which is no character device", name.c_str(), path->c_str());
        }
    }

    for (const std::string& name : names) {
        const std::optional<unsigned> number = PortNameTable::PortNumber(name);
        if (number) {
            FUZZ_CHECK(name == "COM" + std::to_string(*number), "'%s' read as port number %u", name.c_str(),
                       *number);
        } else {
            FUZZ_CHECK(!table.devicePath(name), "'%s' is no port name, yet found", name.c_str());
        }
    }
    return 0;
}
