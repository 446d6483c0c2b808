// kavo-cli log: the download journal as a table, or as its records.
#include "CliCommandLine.h"
#include "CliCommands.h"
#include "DownloadJournal.h"

#include <QTextStream>

#include <cstdio>

namespace {

QString Duration(qint64 ms) {
    return ms < 60000 ? QStringLiteral("%1 s").arg(static_cast<double>(ms) / 1000.0, 0, 'f', 1)
                      : QStringLiteral("%1 min %2 s").arg(ms / 60000).arg((ms % 60000) / 1000);
}

} // namespace

int RunLog(const QStringList& args) {
    CliCommandLine cli(
        args, QStringLiteral("[--json] [--last N]"),
        QStringLiteral("Prints the download journal: one entry per download and per live session "
                       "(from the window\nor kavo-cli download), oldest first. The journal is "
                       "$XDG_STATE_HOME/kavo/journal.jsonl\n(~/.local/state/kavo/journal.jsonl "
                       "when XDG_STATE_HOME is not set)."));
    const QCommandLineOption jsonOption(QStringLiteral("json"),
                                        QStringLiteral("Print the records as JSON, one per line."));
    const QCommandLineOption lastOption(QStringLiteral("last"), QStringLiteral("Only the last N entries."),
                                        QStringLiteral("N"));
    cli.parser().addOptions({jsonOption, lastOption});
    if (const auto exit = cli.Parse()) {
        return *exit;
    }
    qsizetype last = -1;
    if (cli.parser().isSet(lastOption)) {
        bool ok = false;
        last = cli.parser().value(lastOption).toLongLong(&ok);
        if (!ok || last < 0) {
            return cli.BadUsage(
                QStringLiteral("'%1' is not a number of entries").arg(cli.parser().value(lastOption)));
        }
    }

    const QString path = DefaultJournalPath();
    QList<JournalRecord> records;
    int bad = 0;
    QString error;
    if (!ReadJournal(path, &records, &bad, &error)) {
        std::fprintf(stderr, "kavo-cli log: %s\n", qPrintable(error));
        return CliFailed;
    }
    if (bad > 0) {
        std::fprintf(stderr, "kavo-cli log: %d line%s of %s %s not journal records (left out)\n", bad,
                     bad == 1 ? "" : "s", qPrintable(path), bad == 1 ? "is" : "are");
    }
    if (last >= 0 && last < records.size()) {
        records = records.mid(records.size() - last);
    }
    QTextStream out(stdout);
    if (cli.parser().isSet(jsonOption)) {
        for (const JournalRecord& r : records) {
            out << QString::fromUtf8(JournalLine(r));
        }
        return CliOk;
    }
    if (records.isEmpty()) {
        std::fprintf(stderr, "kavo-cli log: nothing journalled yet in %s\n", qPrintable(path));
        return CliOk;
    }
    out << QStringLiteral("%1  %2  %3  %4  %5  %6  %7  %8\n")
               .arg(QStringLiteral("TIME (UTC)"), -23)
               .arg(QStringLiteral("KIND"), -8)
               .arg(QStringLiteral("PORT"), -6)
               .arg(QStringLiteral("FRAMES"), 6)
               .arg(QStringLiteral("DURATION"), 9)
               .arg(QStringLiteral("USER"), -10)
               .arg(QStringLiteral("RESULT"), -24)
               .arg(QStringLiteral("RECIPE"));
    for (const JournalRecord& r : records) {
        QString time = r.time;
        time.replace(QLatin1Char('T'), QLatin1Char(' '));
        time.remove(QLatin1Char('Z'));
        out << QStringLiteral("%1  %2  %3  %4  %5  %6  %7  %8\n")
                   .arg(time, -23)
                   .arg(r.kind, -8)
                   .arg(r.port, -6)
                   .arg(r.frames, 6)
                   .arg(Duration(r.durationMs), 9)
                   .arg(r.user, -10)
                   .arg(DescribeJournalResult(r), -24)
                   .arg(r.recipe + QStringLiteral("  sha256:") + r.sha256.left(12));
    }
    return CliOk;
}
