// kavo-cli ports: the serial ports present, as the setup form lists them, with their devices.
#include "CliCommandLine.h"
#include "CliCommands.h"
#include "FileName.h"
#include "PortNameTable.h"
#include "PortWording.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

int RunPorts(const QStringList& args) {
    const QString description =
        QStringLiteral(
            "Lists the serial ports present (COM0..COM254) in the order the port list shows them, each with\n"
            "the device it maps to. Built in: COM1..COM32 = /dev/ttyS0..31 (real UARTs only),\n"
            "COM33..COM64 = /dev/ttyUSB0..31, COM65..COM96 = /dev/ttyACM0..31. A symbolic link COMn in the\n"
            "port folder adds or overrides a name, e.g.\n"
            "  ln -s /dev/serial/by-id/usb-... \"$KAVO_PORTS_DIR/COM5\"\n"
            "Port folder: $KAVO_PORTS_DIR, else ") +
        QString::fromStdString(PortNameTable::DefaultUserDir());
    CliCommandLine cli(args, QString(), description);
    if (const auto exit = cli.Parse()) {
        return *exit;
    }

    const PortNameTable table = PortNameTable::FromEnvironment();
    std::vector<std::string> names = EnumeratePorts(table);
    SortPortList(names);
    if (names.empty()) {
        std::fprintf(stderr, "%s: no serial ports found (port folder: %s)\n", qPrintable(cli.program()),
                     DisplayFileName(table.userDir()).c_str());
        return CliOk;
    }
    size_t width = 0;
    for (const std::string& n : names) {
        width = std::max(width, n.size());
    }
    for (const std::string& n : names) {
        const std::optional<std::string> path = table.devicePath(n);
        const std::string device = path ? DisplayFileName(*path) : std::string("(gone)");
        std::printf("%-*s  %s\n", static_cast<int>(width), n.c_str(), device.c_str());
    }
    return CliOk;
}
