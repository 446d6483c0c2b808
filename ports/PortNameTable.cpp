#include "PortNameTable.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdlib>

PortNameTable::PortNameTable(std::string userDir, std::string sysfsRoot, std::string devRoot,
                             std::string lockDir)
    : m_userDir(std::move(userDir)), m_sysfsRoot(std::move(sysfsRoot)), m_devRoot(std::move(devRoot)),
      m_lockDir(std::move(lockDir)) {}

PortNameTable PortNameTable::FromEnvironment() {
    const char* dir = std::getenv("KAVO_PORTS_DIR");
    if (dir != nullptr && *dir != '\0') {
        return PortNameTable(dir);
    }
    return PortNameTable(DefaultUserDir());
}

const std::string& PortNameTable::userDir() const {
    return m_userDir;
}

std::optional<unsigned> PortNameTable::PortNumber(std::string_view portName) {
    if (portName.size() < 4 || portName.substr(0, 3) != "COM") {
        return std::nullopt;
    }
    const std::string_view digits = portName.substr(3);
    if (digits.size() > 1 && digits[0] == '0') {
        return std::nullopt;
    }
    unsigned value = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (ec != std::errc() || end != digits.data() + digits.size()) {
        return std::nullopt;
    }
    return value;
}

std::string PortNameTable::entryLockPath(std::string_view portName) const {
    return m_userDir + "/" + std::string(portName) + ".lock";
}

bool EnumeratePorts(const PortNameTable& table, std::vector<std::string>& list) {
    bool found = false;
    for (auto& [name, device] : EnumeratePortDevices(table)) {
        list.push_back(std::move(name));
        found = true;
    }
    return found;
}

std::vector<std::string> EnumeratePorts(const PortNameTable& table) {
    std::vector<std::string> list;
    EnumeratePorts(table, list);
    return list;
}

bool PortListLess(std::string_view a, std::string_view b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) < std::tolower(static_cast<unsigned char>(y));
    });
}

void SortPortList(std::vector<std::string>& names) {
    std::stable_sort(names.begin(), names.end(),
                     [](const std::string& a, const std::string& b) { return PortListLess(a, b); });
}
