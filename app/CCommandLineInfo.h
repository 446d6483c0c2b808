#pragma once

#include <QString>
#include <QStringList>

// The command line, read by the framework's rules: a switch begins with "/" or "-"; the first
// other argument is the file. On Linux a path begins with "/" too, so only the known switch names
// count as switches. The registration is per user whichever form names it; the switches a desktop or an
// automation client may add (/Embedding, /Automation, /nologo, /RestartByRestartManager) are taken and change
// nothing.
class CCommandLineInfo {
  public:
    enum Shell {
        FileNew,
        FileOpen,
        FilePrint,
        FilePrintTo,
        FileDDE,
        AppRegister,
        AppUnregister,
        FileNothing
    };

    // args without the program name.
    void ParseCommandLine(const QStringList& args);
    // A command line read from args (without the program name).
    static CCommandLineInfo Parse(const QStringList& args);

    Shell m_nShellCommand = FileNew;
    QString m_strFileName;
    QString m_strPrinterName;
    QString m_strDriverName;
    QString m_strPortName;
    QString m_strScreenshot;       // --screenshot FILE.png: render the window and end
    QStringList m_unknownSwitches; // reported, otherwise ignored
    QStringList m_extraArguments;  // files after the first: reported, otherwise ignored
    QString m_usageError;          // a command line that can't be carried out (e.g. /p without a file)
    bool m_bHelp = false;
};
