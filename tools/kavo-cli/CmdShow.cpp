// kavo-cli show FILE.aid: a recipe file as a table, read as the window reads one.
#include "CliCommandLine.h"
#include "CliCommands.h"
#include "FileName.h"
#include "PositionFormats.h"
#include "RecipeFile.h"

#include <QTextStream>

#include <cstdio>

namespace {

void PrintRecipe(const Recipe& recipe, const QString& path, QTextStream& out) {
    out << "Recipe " << DisplayFileName(path) << "\n";
    for (int c = 0; c < Recipe::kCameras; ++c) {
        for (int p = 0; p < Recipe::kPositions; ++p) {
            const auto ci = static_cast<size_t>(c);
            const auto pi = static_cast<size_t>(p);
            out << "\n" << FormatPosition(c + 1, p + 1, recipe.m_levels[ci][pi], recipe.m_stepMasks[ci][pi]);
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
    Recipe recipe;
    QString message;
    if (!ReadRecipeFile(file, &recipe, &message)) {
        err << "kavo-cli show: " << message << "\n";
        return CliFailed;
    }
    QTextStream out(stdout);
    PrintRecipe(recipe, file, out);
    return CliOk;
}
