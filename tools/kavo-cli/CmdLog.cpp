// kavo-cli log: the download journal as a table, or as its records.
#include "CliCommandLine.h"
#include "CliCommands.h"
#include "DownloadJournal.h"
#include "FileName.h"

#include <QTextStream>

#include <cstdio>

namespace {

QString Duration(qint64 ms) {
    return ms < 60000 ? QStringLiteral("%1 s").arg(static_cast<double>(ms) / 1000.0, 0, 'f', 1)
                      : QStringLiteral("%1 min %2 s").arg(ms / 60000).arg((ms % 60000) / 1000);
}

// One cell of the table: the text as a terminal can show it (no control character, no escape sequence,
// a byte that is not UTF-8 as \xNN), padded to width (negative: left-aligned).
QString Cell(const QString& text, int width) {
    const QString shown = DisplayFileName(text);
    return width < 0 ? shown.leftJustified(-width) : shown.rightJustified(width);
}

QString Row(const QStringList& cells) {
    return cells.join(QStringLiteral("  ")) + QLatin1Char('\n');
}

} // namespace

int RunLog(const QStringList& args) {
    CliCommandLine cli(
        args, QStringLiteral("[--json] [--last N]"),
        QStringLiteral("Prints the download journal: one entry per download and per live session "
                       "(from the window\nor kavo-cli download), in order of their start. The journal is "
                       "$XDG_STATE_HOME/kavo/journal.jsonl\n(~/.local/state/kavo/journal.jsonl "
                       "when XDG_STATE_HOME is not set) with journal.jsonl.1, the\nolder part kept "
                       "when it reached 10 MB."));
    const QCommandLineOption jsonOption(QStringLiteral("json"),
                                        QStringLiteral("Print the records as JSON, one per line."));
    const QCommandLineOption lastOption(QStringLiteral("last"),
                                        QStringLiteral("Only the last N entries (by start time)."),
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
            return cli.BadUsage(QStringLiteral("'%1' is not a number of entries")
                                    .arg(DisplayFileName(cli.parser().value(lastOption))));
        }
    }
    if (last == 0) {
        return CliOk; // none asked for: none printed, and nothing to say about it
    }

    const QString path = DefaultJournalPath();
    QList<JournalRecord> records;
    int bad = 0;
    QString error;
    const bool read = last > 0 ? ReadJournalTail(path, last, &records, &bad, &error)
                               : ReadJournal(path, &records, &bad, &error);
    if (!read) {
        std::fprintf(stderr, "kavo-cli log: %s\n", qPrintable(error));
        return CliFailed;
    }
    if (bad > 0) {
        std::fprintf(stderr, "kavo-cli log: %d line%s of %s %s not journal records (left out)\n", bad,
                     bad == 1 ? "" : "s", qPrintable(DisplayFileName(path)), bad == 1 ? "is" : "are");
    }
    QTextStream out(stdout);
    if (cli.parser().isSet(jsonOption)) {
        // JSON escapes control characters, and a byte that is not UTF-8 as its \udcNN.
        for (const JournalRecord& r : records) {
            out << QString::fromUtf8(JournalLine(r));
        }
        return CliOk;
    }
    if (records.isEmpty()) {
        std::fprintf(stderr, "kavo-cli log: nothing journalled yet in %s\n",
                     qPrintable(DisplayFileName(path)));
        return CliOk;
    }
    out << Row({Cell(QStringLiteral("TIME (UTC)"), -23), Cell(QStringLiteral("KIND"), -8),
                Cell(QStringLiteral("PORT"), -6), Cell(QStringLiteral("FRAMES"), 6),
                Cell(QStringLiteral("DURATION"), 9), Cell(QStringLiteral("USER"), -10),
                Cell(QStringLiteral("RESULT"), -24), QStringLiteral("RECIPE")});
    for (const JournalRecord& r : records) {
        QString time = r.time;
        time.replace(QLatin1Char('T'), QLatin1Char(' '));
        time.remove(QLatin1Char('Z'));
        out << Row({Cell(time, -23), Cell(r.kind, -8), Cell(r.port, -6), Cell(QString::number(r.frames), 6),
                    Cell(Duration(r.durationMs), 9), Cell(r.user, -10), Cell(DescribeJournalResult(r), -24),
                    Cell(r.recipe, 0) + QStringLiteral("  sha256:") + Cell(r.sha256.left(12), 0)});
    }
    return CliOk;
}
