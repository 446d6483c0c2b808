// kavo-cli: recipe files, download frames, serial ports and the virtual controller from the shell.
#include "CliCommands.h"
#include "FileName.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTextStream>

#include <cstdio>
#include <cstring>
#include <memory>

namespace {

struct Command {
    const char* name;
    const char* summary;
    int (*run)(const QStringList&);
};

const Command kCommands[] = {
    {"show", "print a recipe file as a table", RunShow},
    {"frames", "print the 192 download frames of a recipe file", RunFrames},
    {"ports", "list the serial ports present and their devices", RunPorts},
    {"doctor", "tell why a serial port cannot be used, and what to do", RunDoctor},
    {"download", "download a recipe file to the controller", RunDownload},
    {"simulate", "run a virtual controller on a pseudo-terminal", RunSimulate},
    {"log", "print the journal of downloads and live sessions", RunLog},
    {"print", "write the printed recipe sheet of a recipe file as a PDF", RunPrint},
};

void PrintUsage(FILE* to) {
    QTextStream out(to);
    out << "Usage: kavo-cli <command> [options]\n\nCommands:\n";
    for (const Command& c : kCommands) {
        out << "  " << QString::fromLatin1(c.name).leftJustified(10) << c.summary << "\n";
    }
    out << "\n'kavo-cli <command> --help' describes one command; 'kavo-cli --version' prints the version.\n";
}

} // namespace

int main(int argc, char** argv) {
    // Printing lays out text, which needs Qt's fonts and so a GUI application; the offscreen platform gives
    // them without a display. Every other command stays a plain console program.
    // Qt's platform asks for the session's runtime folder; where there is none (a cron job, ssh, a service),
    // it would warn on standard error and leave one in /tmp. A private folder for the run stands in.
    std::unique_ptr<QTemporaryDir> runtimeDir;
    std::unique_ptr<QCoreApplication> app;
    if (argc > 1 && std::strcmp(argv[1], "print") == 0) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
            runtimeDir = std::make_unique<QTemporaryDir>();
            if (runtimeDir->isValid()) {
                qputenv("XDG_RUNTIME_DIR", EncodeFileName(runtimeDir->path()));
            }
        }
        app = std::make_unique<QGuiApplication>(argc, argv);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    QCoreApplication::setApplicationName("kavo-cli");
    // File names are taken byte for byte (QCoreApplication::arguments() would mangle any that is not UTF-8).
    const QStringList args = DecodeArguments(argc, argv);
    if (args.size() < 2) {
        PrintUsage(stderr);
        return CliBadUsage;
    }
    const QString name = args.at(1);
    if (name == "--help" || name == "-h" || name == "help") {
        PrintUsage(stdout);
        return CliOk;
    }
    if (name == "--version") {
        std::printf("kavo-cli %s\n", KAVO_VERSION);
        return CliOk;
    }
    for (const Command& c : kCommands) {
        if (name == QLatin1String(c.name)) {
            QStringList rest = args.mid(2);
            rest.prepend(QStringLiteral("kavo-cli ") + name);
            return c.run(rest);
        }
    }
    std::fprintf(stderr, "kavo-cli: unknown command '%s'\n\n", qPrintable(name));
    PrintUsage(stderr);
    return CliBadUsage;
}
