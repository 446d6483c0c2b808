#pragma once

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QStringList>

#include <optional>

// One subcommand's command line: a QCommandLineParser with -h/--help, whose help starts with a usage line
// that names the subcommand ("Usage: kavo-cli frames FILE.aid") and goes on with the parser's own
// description, options and arguments. Help goes to standard output, usage errors to standard error with the
// help.
class CliCommandLine {
  public:
    // args: the subcommand's arguments, its name first ("kavo-cli frames"); synopsis: what follows the name
    // on the usage line.
    CliCommandLine(QStringList args, QString synopsis, const QString& description);

    QCommandLineParser& parser() { return m_parser; }
    const QString& program() const { return m_args.constFirst(); }

    // The command takes one recipe file (FILE.aid); without this call it takes nothing but options.
    void ExpectFile();
    // The command takes up to maxCount plain arguments (not files), shown in the help as name.
    void AllowArguments(const QString& name, const QString& description, int maxCount);
    QStringList Arguments() const { return m_parser.positionalArguments(); }
    // Parses the arguments. std::nullopt: the command runs. Otherwise its exit code: CliOk once --help is
    // answered, CliBadUsage once a complaint (the parser's, or about the arguments) and the help are on
    // standard error.
    std::optional<int> Parse();
    // The recipe file, once Parse has let the command run.
    QString File() const { return m_parser.positionalArguments().value(0); }
    // A usage error the command found itself: "kavo-cli frames: message", then the help. Returns CliBadUsage.
    int BadUsage(const QString& message) const;
    QString HelpText() const;

  private:
    QStringList m_args;
    QString m_synopsis;
    QCommandLineParser m_parser;
    QCommandLineOption m_help;
    bool m_expectsFile = false;
    int m_maxArguments = 0;
};
