#include "PortScanner.h"

#include <sys/stat.h>

PortScanner::PortScanner(PortNameTable table)
    : m_table(std::move(table)), m_reader(m_table.sysfsRoot(), m_table.devRoot()) {}

std::vector<PortEntry> PortScanner::Scan() {
    std::vector<PortEntry> entries;
    std::map<std::string, Cached> seen;
    for (auto& [name, path] : EnumeratePortDevices(m_table)) {
        struct stat st {};
        ::stat(path.c_str(), &st);
        const long long ctimeNs =
            static_cast<long long>(st.st_ctim.tv_sec) * 1000000000LL + st.st_ctim.tv_nsec;
        auto it = m_cache.find(path);
        if (it == m_cache.end() || it->second.rdev != st.st_rdev || it->second.ino != st.st_ino ||
            it->second.ctimeNs != ctimeNs) {
            it = m_cache.insert_or_assign(path, Cached{st.st_rdev, st.st_ino, ctimeNs, m_reader.Read(path)})
                     .first;
        }
        seen.insert(*it);
        entries.push_back(PortEntry{std::move(name), std::move(path), it->second.identity});
    }
    m_cache = std::move(seen);
    return entries;
}
