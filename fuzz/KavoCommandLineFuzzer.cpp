// kavo's command line (CCommandLineInfo::ParseCommandLine): the input split at NUL bytes into arguments,
// decoded as the program decodes its arguments.
//
// Properties: no argument that can't be a switch is lost (each lands in the file, the /pt parameters or the
// extra arguments; a picture name may be replaced by a later --screenshot); what is parsed names only
// arguments that were given; Open has a file; /p and /pt without a file are a usage error.
//
// Known fault: /pt takes the next four arguments as file, printer, driver and port even when a file came
// before it, so that file is dropped without a word ("a.aid /pt b.aid P D PORT"; a second /pt likewise).
// Command lines with /pt are spared the "nothing lost" check unless KAVO_FUZZ_KNOWN_FAULTS=1.

#include "CCommandLineInfo.h"
#include "FuzzSupport.h"

#include <algorithm>

namespace {

// "/pt", "-pt", "/-PT:x" and the like for name "pt".
bool IsSwitchNamed(const QString& arg, QLatin1String name) {
    if (arg.size() < 2 || (arg[0] != QLatin1Char('/') && arg[0] != QLatin1Char('-'))) {
        return false;
    }
    QString n = arg.mid(1);
    if (n.startsWith(QLatin1Char('-'))) {
        n = n.mid(1);
    }
    return n.section(QLatin1Char(':'), 0, 0).compare(name, Qt::CaseInsensitive) == 0;
}

bool IsPrintTo(const QString& arg) {
    return IsSwitchNamed(arg, QLatin1String("pt"));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    QStringList args;
    for (const std::string& a : fuzz::SplitAtNul(data, size, 64)) {
        args << QString::fromLocal8Bit(a.data(), static_cast<qsizetype>(a.size()));
    }
    CCommandLineInfo info;
    info.ParseCommandLine(args);

    using Info = CCommandLineInfo;
    FUZZ_CHECK(info.m_nShellCommand != Info::FileOpen || !info.m_strFileName.isEmpty(),
               "Open without a file");
    FUZZ_CHECK(!((info.m_nShellCommand == Info::FilePrint || info.m_nShellCommand == Info::FilePrintTo) &&
                 info.m_strFileName.isEmpty()) ||
                   !info.m_usageError.isEmpty(),
               "/p or /pt without a file is no usage error");

    const QStringList named =
        QStringList{info.m_strFileName, info.m_strPrinterName, info.m_strDriverName, info.m_strPortName} +
        info.m_extraArguments + info.m_unknownSwitches;
    for (const QString& n : named) {
        FUZZ_CHECK(n.isEmpty() || args.contains(n), "'%s' was not on the command line", qPrintable(n));
    }
    FUZZ_CHECK(info.m_strScreenshot.isEmpty() ||
                   std::any_of(args.begin(), args.end(),
                               [&](const QString& a) { return a.endsWith(info.m_strScreenshot); }),
               "picture name '%s' was not on the command line", qPrintable(info.m_strScreenshot));
    if (!fuzz::CheckKnownFaults() && std::any_of(args.begin(), args.end(), IsPrintTo)) {
        return 0;
    }
    QString previous; // the argument before, empty ones skipped as the parser skips them
    for (const QString& a : args) {
        if (a.isEmpty()) {
            continue;
        }
        // A later --screenshot replaces the picture name, as a repeated option does.
        const bool pictureName = IsSwitchNamed(previous, QLatin1String("screenshot"));
        previous = a;
        if (pictureName || a.startsWith(QLatin1Char('-')) || a.startsWith(QLatin1Char('/'))) {
            continue;
        }
        FUZZ_CHECK(named.contains(a) || a == info.m_strScreenshot, "'%s' was lost", qPrintable(a));
    }
    return 0;
}
