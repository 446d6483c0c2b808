// kavo-cli ports: the serial ports present, as the setup form lists them, with their devices.
#include "CliCommands.h"

#include "FileName.h"
#include "PortNameTable.h"

#include <QTextStream>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace {

void PrintHelp(FILE* to, const QString& program) {
    QTextStream out(to);
    out << "Usage: " << program << "\n\n"
        << "Lists the serial ports present (COM0..COM254) in the order the port list shows them, each with\n"
        << "the device it maps to. Built in: COM1..COM32 = /dev/ttyS0..31 (real UARTs only),\n"
        << "COM33..COM64 = /dev/ttyUSB0..31, COM65..COM96 = /dev/ttyACM0..31. A symbolic link COMn in the\n"
        << "port folder adds or overrides a name, e.g.\n"
        << "  ln -s /dev/serial/by-id/usb-... \"$KAVO_PORTS_DIR/COM5\"\n"
        << "Port folder: $KAVO_PORTS_DIR, else "
        << QString::fromStdString(DisplayFileName(PortNameTable::DefaultUserDir())) << "\n";
}

} // namespace

int RunPorts(const QStringList& args) {
    const QString program = args.value(0, QStringLiteral("kavo-cli ports"));
    for (const QString& a : args.mid(1)) {
        if (a == "--help" || a == "-h") {
            PrintHelp(stdout, program);
            return CliOk;
        }
        std::fprintf(stderr, "%s: unexpected argument '%s'\n\n", qPrintable(program), qPrintable(a));
        PrintHelp(stderr, program);
        return CliBadUsage;
    }

    const PortNameTable table = PortNameTable::FromEnvironment();
    std::vector<std::string> names = EnumeratePorts(table);
    // The port list sorts its entries as text: COM1, COM10, COM2.
    std::sort(names.begin(), names.end());
    if (names.empty()) {
        std::fprintf(stderr, "%s: no serial ports found (port folder: %s)\n", qPrintable(program),
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
