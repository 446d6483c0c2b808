// kavo-cli print FILE.aid --pdf OUT.pdf: the window's printed recipe sheet as a PDF file.
#include "CliCommandLine.h"
#include "CliCommands.h"
#include "FileAccess.h"
#include "FileName.h"
#include "RecipeFile.h"
#include "RecipeSheet.h"

#include <QBuffer>
#include <QDateTime>
#include <QFileInfo>
#include <QPdfWriter>

#include <cstdio>

int RunPrint(const QStringList& args) {
    CliCommandLine cli(
        args, QStringLiteral("FILE.aid --pdf OUT.pdf [--page-size A4|Letter]"),
        QStringLiteral("Writes the printed recipe sheet as a PDF file: one page per camera with the\n"
                       "levels and the on/off steps of its 5 positions x 8 channels."));
    const QCommandLineOption pdf(QStringLiteral("pdf"), QStringLiteral("The PDF file to write."),
                                 QStringLiteral("OUT.pdf"));
    const QCommandLineOption pageSize(QStringLiteral("page-size"),
                                      QStringLiteral("The paper: A4 (the default) or Letter, portrait."),
                                      QStringLiteral("A4|Letter"), QStringLiteral("A4"));
    cli.parser().addOption(pdf);
    cli.parser().addOption(pageSize);
    cli.ExpectFile();
    if (const auto exit = cli.Parse()) {
        return *exit;
    }
    const QString out = cli.parser().value(pdf);
    if (out.isEmpty()) {
        return cli.BadUsage(QStringLiteral("--pdf OUT.pdf is needed"));
    }
    const QString paperName = cli.parser().value(pageSize);
    QPageSize::PageSizeId paper = QPageSize::A4;
    if (paperName.compare(QLatin1String("Letter"), Qt::CaseInsensitive) == 0) {
        paper = QPageSize::Letter;
    } else if (paperName.compare(QLatin1String("A4"), Qt::CaseInsensitive) != 0) {
        return cli.BadUsage(QStringLiteral("unknown page size '%1' (A4 or Letter)").arg(paperName));
    }

    const QString shownOut = DisplayFileName(out);
    // The sheet never takes the place of the recipe it shows, under whatever name it is given.
    if (SameFile(cli.File(), out)) {
        std::fprintf(stderr, "kavo-cli print: %s is the recipe being printed; nothing was written\n",
                     qPrintable(shownOut));
        return CliFailed;
    }

    Recipe recipe;
    QString error;
    if (!ReadRecipeFile(cli.File(), &recipe, &error)) {
        std::fprintf(stderr, "kavo-cli print: %s\n", qPrintable(error));
        return CliFailed;
    }
    // The file's name as the window's title shows it.
    const QString title = DisplayFileName(QFileInfo(cli.File()).fileName());
    // Made in memory, then saved as every file of the program is: beside the target and renamed over it,
    // regular files only. A failure leaves an existing OUT.pdf whole.
    QByteArray pages;
    bool painted = false;
    {
        QBuffer buffer(&pages);
        buffer.open(QIODevice::WriteOnly);
        QPdfWriter writer(&buffer);
        writer.setTitle(title);
        writer.setCreator(QStringLiteral("kavo-cli"));
        RecipeSheet::SetDefaultPageLayout(writer, paper);
        painted = RecipeSheet(recipe, title, false, QDateTime::currentDateTime()).Print(writer);
    }
    if (!painted) {
        std::fprintf(stderr, "kavo-cli print: cannot write %s: the PDF could not be made\n",
                     qPrintable(shownOut));
        return CliFailed;
    }
    FileError saveError;
    if (!AtomicSave(out, pages, &saveError)) {
        const QString kind = RefusedKindText(saveError);
        std::fprintf(
            stderr, "kavo-cli print: cannot write %s: %s\n", qPrintable(shownOut),
            qPrintable(kind.isEmpty() ? saveError.message : kind + QStringLiteral("; nothing was written")));
        return CliFailed;
    }
    std::printf("kavo-cli print: wrote %s (%d pages, %s)\n", qPrintable(shownOut), RecipeSheet::kPageCount,
                paper == QPageSize::Letter ? "Letter" : "A4");
    return CliOk;
}
