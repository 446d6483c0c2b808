// kavo-cli show FILE.aid: a recipe file as a table, read through the same document code as the window.
#include "CKAVODoc.h"
#include "CliCommandLine.h"
#include "CliCommands.h"
#include "FileName.h"
#include "PositionFormats.h"

#include <QTextStream>

#include <cstdio>

namespace {

void PrintRecipe(const CKAVODoc& doc, const QString& path, QTextStream& out) {
    out << "Recipe " << DisplayFileName(path) << "\n";
    for (int c = 0; c < CKAVODoc::kCameras; ++c) {
        for (int p = 0; p < CKAVODoc::kPositions; ++p) {
            const auto ci = static_cast<size_t>(c);
            const auto pi = static_cast<size_t>(p);
            out << "\n" << FormatPosition(c + 1, p + 1, doc.m_levels[ci][pi], doc.m_stepMasks[ci][pi]);
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
