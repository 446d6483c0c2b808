#include "PortScanner.h"

#include <sys/stat.h>

PortScanner::PortScanner(PortNameTable table)
    : m_table(std::move(table)), m_reader(m_table.sysfsRoot(), m_table.devRoot()) {}

std::vector<PortEntry> PortScanner::Scan() {
    std::vector<PortEntry> entries;
    std::map<std::string, Cached> seen;
    for (std::string& name : EnumeratePorts(m_table)) {
        std::optional<std::string> device = m_table.devicePath(name);
        if (!device) {
            continue; // went away between the two looks
        }
        struct stat st {};
        ::stat(device->c_str(), &st);
        const long long ctimeNs =
            static_cast<long long>(st.st_ctim.tv_sec) * 1000000000LL + st.st_ctim.tv_nsec;
        auto it = m_cache.find(*device);
        if (it == m_cache.end() || it->second.rdev != st.st_rdev || it->second.ino != st.st_ino ||
            it->second.ctimeNs != ctimeNs) {
            it =
                m_cache
                    .insert_or_assign(*device, Cached{st.st_rdev, st.st_ino, ctimeNs, m_reader.Read(*device)})
                    .first;
        }
        seen.insert(*it);
        entries.push_back(PortEntry{std::move(name), std::move(*device), it->second.identity});
    }
    m_cache = std::move(seen);
    return entries;
}
