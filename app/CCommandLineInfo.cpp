#include "CCommandLineInfo.h"

namespace {

// Switches that a desktop or an automation client may add: taken, and they change nothing.
bool ChangesNothing(const QString& name) {
    return name == QLatin1String("embedding") || name == QLatin1String("automation") ||
           name == QLatin1String("nologo") || name == QLatin1String("restartbyrestartmanager");
}

bool IsSwitch(const QString& arg, QString* name) {
    if (arg.size() < 2 || (arg[0] != QLatin1Char('/') && arg[0] != QLatin1Char('-'))) {
        return false;
    }
    QString n = arg.mid(1);
    if (n.startsWith(QLatin1Char('-'))) {
        n = n.mid(1); // --switch
    }
    static const QStringList known = {
        QStringLiteral("p"),
        QStringLiteral("pt"),
        QStringLiteral("dde"),
        QStringLiteral("ddenoshow"),
        QStringLiteral("register"),
        QStringLiteral("regserver"),
        QStringLiteral("registerperuser"),
        QStringLiteral("regserverperuser"),
        QStringLiteral("unregister"),
        QStringLiteral("unregserver"),
        QStringLiteral("unregisterperuser"),
        QStringLiteral("unregserverperuser"),
        QStringLiteral("embedding"),
        QStringLiteral("automation"),
        QStringLiteral("restartbyrestartmanager"),
        QStringLiteral("nologo"),
        QStringLiteral("screenshot"),
        QStringLiteral("help"),
        QStringLiteral("h"),
    };
    const QString lower = n.toLower();
    const QString base = lower.section(QLatin1Char(':'), 0, 0);
    if (known.contains(base)) {
        *name = base;
        return true;
    }
    // "-x" style options that are no path are switches too (and unknown); "/x" that is no known
    // switch is a path.
    if (arg[0] == QLatin1Char('-')) {
        *name = lower;
        return true;
    }
    return false;
}

} // namespace

CCommandLineInfo CCommandLineInfo::Parse(const QStringList& args) {
    CCommandLineInfo info;
    info.ParseCommandLine(args);
    return info;
}

void CCommandLineInfo::ParseCommandLine(const QStringList& args) {
    int pending = 0; // parameters still expected after /pt: file, printer, driver, port
    bool expectScreenshot = false;
    bool switchesEnded = false; // after "--" every argument is a file, even one that starts with "-"
    for (const QString& arg : args) {
        if (arg.isEmpty()) {
            continue;
        }
        if (!switchesEnded && pending == 0 && !expectScreenshot && arg == QLatin1String("--")) {
            switchesEnded = true;
            continue;
        }
        if (expectScreenshot) {
            m_strScreenshot = arg;
            expectScreenshot = false;
            continue;
        }
        QString name;
        if (pending == 0 && !switchesEnded && IsSwitch(arg, &name)) {
            if (name == QLatin1String("p")) {
                m_nShellCommand = FilePrint;
            } else if (name == QLatin1String("pt")) {
                m_nShellCommand = FilePrintTo;
                pending = 4;
            } else if (name == QLatin1String("dde") || name == QLatin1String("ddenoshow")) {
                m_nShellCommand = FileDDE;
            } else if (name == QLatin1String("register") || name == QLatin1String("regserver") ||
                       name == QLatin1String("registerperuser") ||
                       name == QLatin1String("regserverperuser")) {
                m_nShellCommand = AppRegister;
            } else if (name == QLatin1String("unregister") || name == QLatin1String("unregserver") ||
                       name == QLatin1String("unregisterperuser") ||
                       name == QLatin1String("unregserverperuser")) {
                m_nShellCommand = AppUnregister;
            } else if (name == QLatin1String("screenshot")) {
                const qsizetype colon = arg.indexOf(QLatin1Char('='));
                if (colon > 0) {
                    m_strScreenshot = arg.mid(colon + 1);
                } else {
                    expectScreenshot = true;
                }
            } else if (name == QLatin1String("help") || name == QLatin1String("h")) {
                m_bHelp = true;
            } else if (name.startsWith(QLatin1String("screenshot="))) {
                m_strScreenshot = arg.section(QLatin1Char('='), 1);
            } else if (!ChangesNothing(name)) {
                m_unknownSwitches.append(arg);
            }
            continue;
        }
        if (pending > 0) {
            switch (pending) {
            case 4:
                // /pt names the file it opens; a file named before it is one too many, reported
                // like any other extra file rather than silently replaced.
                if (!m_strFileName.isEmpty()) {
                    m_extraArguments.append(m_strFileName);
                }
                m_strFileName = arg;
                break;
            case 3:
                m_strPrinterName = arg;
                break;
            case 2:
                m_strDriverName = arg;
                break;
            default:
                m_strPortName = arg;
                break;
            }
            --pending;
            continue;
        }
        if (m_strFileName.isEmpty()) {
            m_strFileName = arg;
            if (m_nShellCommand == FileNew) {
                m_nShellCommand = FileOpen;
            }
        } else {
            m_extraArguments.append(arg);
        }
    }
    if (expectScreenshot) {
        m_usageError = QStringLiteral("--screenshot needs the name of a PNG file");
    } else if ((m_nShellCommand == FilePrint || m_nShellCommand == FilePrintTo) && m_strFileName.isEmpty()) {
        m_usageError = QStringLiteral("/p and /pt need the recipe file to open");
    } else if (m_nShellCommand == FilePrintTo && m_strPrinterName.isEmpty()) {
        m_usageError = QStringLiteral("/pt needs the recipe file and the printer's name");
    }
}
