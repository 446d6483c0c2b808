#include "CliCommandLine.h"

#include "CliCommands.h"

#include <QTextStream>

#include <cstdio>

CliCommandLine::CliCommandLine(QStringList args, QString synopsis, const QString& description)
    : m_args(std::move(args)), m_synopsis(std::move(synopsis)),
      m_help({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show this help and exit.")) {
    if (m_args.isEmpty()) {
        m_args.append(QStringLiteral("kavo-cli"));
    }
    m_parser.setApplicationDescription(description);
    m_parser.addOption(m_help);
}

void CliCommandLine::ExpectFile() {
    m_parser.addPositionalArgument(QStringLiteral("FILE.aid"), QStringLiteral("The recipe file."));
    m_expectsFile = true;
}

void CliCommandLine::AllowArguments(const QString& name, const QString& description, int maxCount) {
    m_parser.addPositionalArgument(name, description);
    m_maxArguments = maxCount;
}

std::optional<int> CliCommandLine::Parse() {
    if (!m_parser.parse(m_args)) {
        return BadUsage(m_parser.errorText());
    }
    if (m_parser.isSet(m_help)) {
        QTextStream(stdout) << HelpText();
        return CliOk;
    }
    const QStringList given = m_parser.positionalArguments();
    if (m_expectsFile && given.isEmpty()) {
        return BadUsage(QStringLiteral("no file given"));
    }
    if (given.size() > (m_expectsFile ? 1 : m_maxArguments)) {
        return BadUsage(m_expectsFile
                            ? QStringLiteral("only one file at a time")
                            : QStringLiteral("unexpected argument '%1'").arg(given.at(m_maxArguments)));
    }
    return std::nullopt;
}

int CliCommandLine::BadUsage(const QString& message) const {
    QTextStream(stderr) << program() << ": " << message << "\n\n" << HelpText();
    return CliBadUsage;
}

QString CliCommandLine::HelpText() const {
    // The parser's usage line names the executable as it was started; ours names the subcommand.
    QString text = m_parser.helpText();
    const qsizetype end = text.indexOf(QLatin1Char('\n'));
    QString usage = QStringLiteral("Usage: ") + program();
    if (!m_synopsis.isEmpty()) {
        usage += QLatin1Char(' ') + m_synopsis;
    }
    return text.replace(0, end < 0 ? text.size() : end, usage + QLatin1Char('\n'));
}
