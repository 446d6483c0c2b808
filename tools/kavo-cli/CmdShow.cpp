// kavo-cli show FILE.aid: a recipe file as a table, read through the same document code as the window.
#include "CKAVODoc.h"
#include "CliCommands.h"
#include "FileName.h"

#include <QCommandLineParser>
#include <QTextStream>

#include <cstdio>

namespace {

// Step 1 first: '#' where the channel is lit in that step, '.' where it is dark.
QString StepMarks(std::uint16_t mask) {
    QString marks;
    for (int s = 0; s < CKAVODoc::kSteps; ++s) {
        marks += (mask >> s) & 1U ? QLatin1Char('#') : QLatin1Char('.');
    }
    return marks;
}

void PrintRecipe(const CKAVODoc& doc, const QString& path, QTextStream& out) {
    out << "Recipe " << DisplayFileName(path) << "\n";
    for (int c = 0; c < CKAVODoc::kCameras; ++c) {
        for (int p = 0; p < CKAVODoc::kPositions; ++p) {
            out << "\nCamera " << c + 1 << ", position " << p + 1 << "\n";
            out << "  Channel  Level  Steps 1..16\n";
            out << "                  1234567890123456\n";
            for (int k = 0; k < CKAVODoc::kChannels; ++k) {
                const auto ci = static_cast<size_t>(c);
                const auto pi = static_cast<size_t>(p);
                const auto ki = static_cast<size_t>(k);
                // Channels are numbered across the cameras as the pattern view labels them.
                const QString name = QStringLiteral("CH%1").arg(c * CKAVODoc::kChannels + k + 1);
                out << "  " << name.leftJustified(9)
                    << QString::number(doc.m_levels[ci][pi][ki]).rightJustified(5) << "  "
                    << StepMarks(doc.m_stepMasks[ci][pi][ki]) << "\n";
            }
        }
    }
}

} // namespace

int RunShow(const QStringList& args) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Print a recipe file: for each camera and position the 8 channel levels and each "
                       "channel's on/off steps ('#' lit, '.' dark, step 1 first)."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help and exit."));
    parser.addOption(help);
    parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("The .aid recipe file."));

    QTextStream err(stderr);
    const QString usage = QStringLiteral("Usage: kavo-cli show [--help] FILE.aid\n");
    if (!parser.parse(args)) {
        err << "kavo-cli show: " << parser.errorText() << "\n" << usage;
        return CliBadUsage;
    }
    if (parser.isSet(help)) {
        QTextStream out(stdout);
        out << usage << "\n"
            << parser.applicationDescription() << "\n\nOptions:\n"
            << "  -h, --help  Show this help and exit.\n\nArguments:\n  FILE        The .aid recipe file.\n";
        return CliOk;
    }
    const QStringList files = parser.positionalArguments();
    if (files.size() != 1) {
        err << "kavo-cli show: " << (files.isEmpty() ? "no file given" : "only one file at a time") << "\n"
            << usage;
        return CliBadUsage;
    }

    CKAVODoc doc;
    QString message;
    if (!doc.LoadFile(files.constFirst(), &message)) {
        err << "kavo-cli show: " << message << "\n";
        return CliFailed;
    }
    QTextStream out(stdout);
    PrintRecipe(doc, files.constFirst(), out);
    return CliOk;
}
