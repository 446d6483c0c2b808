#include "PortDoctor.h"

#include "CSerialPortBase.h"
#include "DisplayText.h"
#include "PortWording.h"
#include "TextCatalogue.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <iterator>

std::string PortHolder::Describe() const {
    if (pid <= 0) {
        return KAVO_TR("PortDoctor", "an unknown program");
    }
    const std::string who = program.empty() ? KAVO_TR("PortDoctor", "a program") : DisplayText(program);
    return FillText(KAVO_TR("PortDoctor", "%1 (PID %2)"), {who, std::to_string(pid)});
}

// Kept in step with packaging/70-kavo-serial.rules (its uaccess lines); a test compares the two.
const UdevRuleAdapter kUdevRuleAdapters[] = {
    {"0403", "6001"}, {"0403", "6010"}, {"0403", "6011"}, {"0403", "6014"}, {"0403", "6015"},
    {"10c4", "ea60"}, {"10c4", "ea61"}, {"10c4", "ea63"}, {"10c4", "ea70"}, {"10c4", "ea71"},
    {"10c4", "ea7a"}, {"10c4", "ea7b"}, {"1a86", "7523"}, {"1a86", "5523"}, {"067b", "2303"},
    {"067b", "23a3"}, {"067b", "23b3"}, {"067b", "23c3"}, {"067b", "23d3"}, {"067b", "23e3"},
    {"067b", "23f3"},
};
const std::size_t kUdevRuleAdapterCount = std::size(kUdevRuleAdapters);

bool UdevRuleCovers(const PortIdentity& identity) {
    if (!identity.IsUsb() || identity.kernelName.rfind("ttyUSB", 0) != 0) {
        return false;
    }
    const auto lower = [](std::string s) {
        for (char& c : s) {
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        return s;
    };
    const std::string vid = lower(identity.vendorId), pid = lower(identity.productId);
    return std::any_of(std::begin(kUdevRuleAdapters), std::end(kUdevRuleAdapters),
                       [&](const UdevRuleAdapter& a) { return vid == a.vendorId && pid == a.productId; });
}

std::string ExplainOpenFailure(const PortNameTable& table, const std::string& name, int portError,
                               int systemError, const PortIdentity& identity, const DoctorSystem& system) {
    if (!name.empty() && (portError == ErrorAccessDenied || systemError == EACCES || systemError == EPERM ||
                          systemError == EBUSY)) {
        for (const PortFinding& f : DiagnosePort(table, name, identity, system)) {
            const bool held = f.kind == PortFinding::Held;
            const bool permission =
                f.kind == PortFinding::Permission || f.kind == PortFinding::NotYetInSession;
            if ((held && systemError == EBUSY) || (permission && systemError != EBUSY)) {
                return f.text;
            }
        }
    }
    return PortOpenFailureText(name, portError, systemError);
}
