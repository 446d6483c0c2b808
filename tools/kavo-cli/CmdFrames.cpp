#include "CliCommandLine.h"
#include "CliCommands.h"
#include "DownloadFrame.h"
#include "RecipeFile.h"

#include <cstdio>

int RunFrames(const QStringList& args) {
    CliCommandLine cli(
        args, QStringLiteral("FILE.aid"),
        QStringLiteral("Prints the 192 download frames of a recipe file in sending order, one per line."));
    cli.ExpectFile();
    if (const auto exit = cli.Parse()) {
        return *exit;
    }
    const QString file = cli.File();
    Recipe recipe;
    QString error;
    if (!ReadRecipeFile(file, &recipe, &error)) {
        std::fprintf(stderr, "kavo-cli frames: %s\n", qPrintable(error));
        return CliFailed;
    }
    for (const DownloadFrame& f : BuildDownloadFrames(recipe.m_levels, recipe.m_stepMasks)) {
        std::printf("%02X %02X %02X %02X %02X %02X\n", f[0], f[1], f[2], f[3], f[4], f[5]);
    }
    return std::fflush(stdout) == 0 ? CliOk : CliFailed;
}
