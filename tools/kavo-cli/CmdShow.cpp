// kavo-cli show FILE.aid: a recipe file as a table, read through the same document code as the window.
#include "CKAVODoc.h"
#include "CliCommandLine.h"
#include "CliCommands.h"
#include "FileName.h"

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
    CliCommandLine cli(
        args, QStringLiteral("FILE.aid"),
        QStringLiteral("Prints a recipe file: for each camera and position the 8 channel levels and\n"
                       "each channel's on/off steps ('#' lit, '.' dark, step 1 first)."));
    cli.ExpectFile();
    if (const auto exit = cli.Parse()) {
        return *exit;
    }
    const QString file = cli.File();

    QTextStream err(stderr);
    CKAVODoc doc;
    QString message;
    if (!doc.LoadFile(file, &message)) {
        err << "kavo-cli show: " << message << "\n";
        return CliFailed;
    }
    QTextStream out(stdout);
    PrintRecipe(doc, file, out);
    return CliOk;
}
