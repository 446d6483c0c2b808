#include "PortDoctor.h"

#include "CSerialPortBase.h"
#include "PortWording.h"
#include "TextCatalogue.h"

#include <cerrno>

std::string PortHolder::Describe() const {
    const std::string who = program.empty() ? KAVO_TR("PortDoctor", "a program") : program;
    return FillText(KAVO_TR("PortDoctor", "%1 (PID %2)"), {who, std::to_string(pid)});
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
