// kavo-cli ports: the serial ports present, as the setup form lists them, with what each device is and who
// holds it; --json for records; --pin/--unpin to keep an adapter's name across re-plugging.
#include "CliCommandLine.h"
#include "CliCommands.h"
#include "FileName.h"
#include "PortDoctor.h"
#include "PortNameTable.h"
#include "PortPin.h"
#include "PortScanner.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace {

// "minicom (PID 1234)", "" when free.
std::string HolderText(const PortEntry& e, const PortNameTable& table, const DoctorSystem& system) {
    const std::optional<PortHolder> holder = FindPortHolder(e.device, table.lockDir(), system);
    return holder ? holder->Describe() : std::string();
}

int Pin(CliCommandLine& cli, const PortNameTable& table, const QString& name, const QStringList& rest) {
    if (rest.size() != 1) {
        return cli.BadUsage(
            QStringLiteral("--pin needs the port name and the device: --pin COM5 /dev/ttyUSB0"));
    }
    std::string error;
    const std::optional<std::string> device =
        PinDevicePath(table, EncodeFileName(rest.first()).toStdString(), error);
    if (!device) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(cli.program()), error.c_str());
        return CliFailed;
    }
    const PortIdentityReader reader(table.sysfsRoot(), table.devRoot());
    const PortIdentity identity = reader.Read(*device);
    if (identity.byIdLink.empty()) {
        std::fprintf(
            stderr,
            "%s: %s has no /dev/serial/by-id link (it is no USB adapter, or not plugged in), so no name "
            "can be kept for it\n",
            qPrintable(cli.program()), qPrintable(DisplayFileName(rest.first())));
        return CliFailed;
    }
    if (!PinPortName(table, EncodeFileName(name).toStdString(), identity.byIdLink, error)) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(cli.program()), error.c_str());
        return CliFailed;
    }
    std::printf("%s -> %s\n", qPrintable(DisplayFileName(name)), DisplayFileName(identity.byIdLink).c_str());
    return CliOk;
}

} // namespace

int RunPorts(const QStringList& args) {
    const QString description =
        QStringLiteral(
            "Lists the serial ports present (COM0..COM254) in the order the port list shows them: name,\n"
            "device, /dev/serial/by-id link, USB vendor:product, serial number, driver and the program that\n"
            "holds the port. Built in: COM1..COM32 = /dev/ttyS0..31 (real UARTs only), COM33..COM64 =\n"
            "/dev/ttyUSB0..31, COM65..COM96 = /dev/ttyACM0..31. A symbolic link COMn in the port folder "
            "adds\n"
            "or overrides a name; --pin writes one to the adapter's by-id link, so that the name survives\n"
            "re-plugging.\n"
            "Port folder: $KAVO_PORTS_DIR, else ") +
        QString::fromStdString(PortNameTable::DefaultUserDir());
    CliCommandLine cli(args, QStringLiteral("[--json] [--pin COMn DEVICE] [--unpin COMn]"), description);
    const QCommandLineOption json(QStringLiteral("json"), QStringLiteral("Print the ports as JSON records."));
    const QCommandLineOption pin(
        QStringLiteral("pin"),
        QStringLiteral("Keep the name COMn for the adapter DEVICE (/dev/ttyUSB0, ttyUSB0 "
                       "or a present COMm): a port-folder link to its by-id path."),
        QStringLiteral("COMn"));
    const QCommandLineOption unpin(QStringLiteral("unpin"),
                                   QStringLiteral("Remove the pin COMn (a port-folder link to a by-id "
                                                  "path); any other entry is left as it is."),
                                   QStringLiteral("COMn"));
    cli.parser().addOption(json);
    cli.parser().addOption(pin);
    cli.parser().addOption(unpin);
    cli.AllowArguments(QStringLiteral("DEVICE"), QStringLiteral("The adapter, with --pin."), 1);
    if (const auto exit = cli.Parse()) {
        return *exit;
    }
    const PortNameTable table = PortNameTable::FromEnvironment();
    if (cli.parser().isSet(pin)) {
        return Pin(cli, table, cli.parser().value(pin), cli.Arguments());
    }
    if (!cli.Arguments().isEmpty()) {
        return cli.BadUsage(QStringLiteral("a device is given only with --pin"));
    }
    if (cli.parser().isSet(unpin)) {
        std::string error;
        if (!UnpinPortName(table, EncodeFileName(cli.parser().value(unpin)).toStdString(), error)) {
            std::fprintf(stderr, "%s: %s\n", qPrintable(cli.program()), error.c_str());
            return CliFailed;
        }
        return CliOk;
    }

    PortScanner scanner(table);
    std::vector<PortEntry> entries = scanner.Scan();
    std::stable_sort(entries.begin(), entries.end(),
                     [](const PortEntry& a, const PortEntry& b) { return PortListLess(a.name, b.name); });
    const DoctorSystem system = DoctorSystem::OfThisMachine();
    if (cli.parser().isSet(json)) {
        QJsonArray records;
        for (const PortEntry& e : entries) {
            const PortIdentity& id = e.identity;
            QJsonObject r;
            r.insert(QStringLiteral("name"), QString::fromStdString(e.name));
            r.insert(QStringLiteral("device"), QString::fromStdString(e.device));
            r.insert(QStringLiteral("byId"), QString::fromStdString(id.byIdLink));
            r.insert(QStringLiteral("vendorId"), QString::fromStdString(id.vendorId));
            r.insert(QStringLiteral("productId"), QString::fromStdString(id.productId));
            r.insert(QStringLiteral("manufacturer"), QString::fromStdString(id.manufacturer));
            r.insert(QStringLiteral("product"), QString::fromStdString(id.product));
            r.insert(QStringLiteral("serial"), QString::fromStdString(id.serial));
            r.insert(QStringLiteral("driver"), QString::fromStdString(id.driver));
            r.insert(QStringLiteral("heldBy"), QString::fromStdString(HolderText(e, table, system)));
            records.append(r);
        }
        std::fputs(QJsonDocument(records).toJson(QJsonDocument::Indented).constData(), stdout);
        return CliOk;
    }
    if (entries.empty()) {
        std::fprintf(stderr, "%s: no serial ports found (port folder: %s)\n", qPrintable(cli.program()),
                     DisplayFileName(table.userDir()).c_str());
        return CliOk;
    }
    std::vector<std::vector<std::string>> rows = {
        {"NAME", "DEVICE", "BY-ID", "VENDOR:PRODUCT", "SERIAL", "DRIVER", "HELD BY"}};
    for (const PortEntry& e : entries) {
        const PortIdentity& id = e.identity;
        const auto dash = [](const std::string& s) { return s.empty() ? std::string("-") : s; };
        // Everything but the name comes from the system: shown safely.
        rows.push_back({e.name, DisplayFileName(e.device), dash(DisplayFileName(id.byIdLink)),
                        dash(DisplayFileName(id.VendorProduct())), dash(DisplayFileName(id.serial)),
                        dash(DisplayFileName(id.driver)), dash(HolderText(e, table, system))});
    }
    std::vector<size_t> width(rows.front().size(), 0);
    for (const auto& row : rows) {
        for (size_t c = 0; c < row.size(); ++c) {
            width[c] = std::max(width[c], row[c].size());
        }
    }
    for (const auto& row : rows) {
        std::string line;
        for (size_t c = 0; c < row.size(); ++c) {
            line += c + 1 < row.size() ? row[c] + std::string(width[c] - row[c].size() + 2, ' ') : row[c];
        }
        std::printf("%s\n", line.c_str());
    }
    return CliOk;
}
