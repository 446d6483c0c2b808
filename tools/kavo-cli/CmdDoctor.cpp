// kavo-cli doctor [COMn]: why a serial port cannot be used, and what to do about it.
#include "CliCommandLine.h"
#include "CliCommands.h"
#include "FileName.h"
#include "PortDoctor.h"
#include "PortNameTable.h"
#include "PortScanner.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// One port in a few words: "ok", or the first thing found against it.
std::string PortState(const std::vector<PortFinding>& findings) {
    for (const PortFinding& f : findings) {
        if (f.blocksOpen) {
            return f.text;
        }
    }
    return findings.empty() ? std::string("ok") : "ok, but: " + findings.front().text;
}

} // namespace

int RunDoctor(const QStringList& args) {
    const QString description = QStringLiteral(
        "Tells why a serial port cannot be used and what to do: permission (the device's group against\n"
        "your groups), another program holding it (flock, a UUCP lock file, an open descriptor),\n"
        "ModemManager probing the adapter, brltty claiming it. Without a port: your groups, the two\n"
        "daemons and every port present with its state. Exit status 1 when the port given cannot be opened.");
    CliCommandLine cli(args, QStringLiteral("[COMn]"), description);
    cli.AllowArguments(QStringLiteral("COMn"), QStringLiteral("The port to look at."), 1);
    if (const auto exit = cli.Parse()) {
        return *exit;
    }
    const PortNameTable table = PortNameTable::FromEnvironment();
    const DoctorSystem system = DoctorSystem::OfThisMachine();
    PortScanner scanner(table);

    if (!cli.Arguments().isEmpty()) {
        const std::string name = cli.Arguments().first().toStdString();
        if (!PortNameTable::PortNumber(name)) {
            return cli.BadUsage(QStringLiteral("'%1' is no port name (COM0..COM254)")
                                    .arg(DisplayFileName(cli.Arguments().first())));
        }
        const std::optional<std::string> device = table.devicePath(name);
        const PortIdentity identity = device ? scanner.reader().Read(*device) : PortIdentity();
        const std::string summary = identity.Summary();
        std::printf("%s", name.c_str());
        if (device) {
            std::printf("  %s%s%s", DisplayFileName(*device).c_str(), summary.empty() ? "" : "  ",
                        summary.c_str());
        }
        std::printf("\n");
        const std::vector<PortFinding> findings = DiagnosePort(table, name, identity, system);
        if (findings.empty()) {
            std::printf("No problem found: the port can be opened.\n");
        }
        bool blocked = false;
        for (const PortFinding& f : findings) {
            std::printf("- %s\n", f.text.c_str());
            blocked = blocked || f.blocksOpen;
        }
        return blocked ? CliFailed : CliOk;
    }

    const DoctorCredentials& who = system.credentials;
    std::string groups;
    for (gid_t g : who.groups) {
        groups += (groups.empty() ? "" : " ") + DisplayFileName(system.groups.NameOf(g));
    }
    std::printf("User: %s (uid %u), groups of this session: %s\n", DisplayFileName(who.userName).c_str(),
                static_cast<unsigned>(who.uid), groups.c_str());
    // dialout: the group Debian gives serial devices.
    const std::optional<gid_t> dialout = system.groups.IdOf("dialout");
    if (who.uid == 0) {
        std::printf("dialout: not needed (root)\n");
    } else if (!dialout) {
        std::printf("dialout: no such group on this machine\n");
    } else if (std::find(who.groups.begin(), who.groups.end(), *dialout) != who.groups.end()) {
        std::printf("dialout: yes\n");
    } else if (system.groups.Lists(who.userName, *dialout)) {
        std::printf(
            "dialout: in /etc/group but not in this session: log out and in (or run newgrp dialout)\n");
    } else {
        std::printf("dialout: no; add yourself (sudo usermod -aG dialout $USER), then log out and in\n");
    }
    std::printf("ModemManager: %s\n", ModemManagerRunning(system)
                                          ? "running: it probes USB serial adapters it is not told to ignore"
                                          : "not running");
    std::printf("brltty: %s\n", BrlttyInstalled(system)
                                    ? "installed: its udev rules may claim USB serial adapters"
                                    : "not installed");

    std::vector<PortEntry> entries = scanner.Scan();
    std::stable_sort(entries.begin(), entries.end(),
                     [](const PortEntry& a, const PortEntry& b) { return PortListLess(a.name, b.name); });
    if (entries.empty()) {
        std::printf("Ports: none found (port folder: %s)\n", DisplayFileName(table.userDir()).c_str());
        return CliOk;
    }
    std::printf("Ports:\n");
    for (const PortEntry& e : entries) {
        const std::string summary = e.identity.Summary();
        std::printf("  %s  %s%s%s: %s\n", e.name.c_str(), DisplayFileName(e.device).c_str(),
                    summary.empty() ? "" : "  ", summary.c_str(),
                    PortState(DiagnosePort(table, e.name, e.identity, system)).c_str());
    }
    return CliOk;
}
