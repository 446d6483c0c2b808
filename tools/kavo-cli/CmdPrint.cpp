// kavo-cli print FILE.aid --pdf OUT.pdf: the window's printed recipe sheet as a PDF file.
#include "CliCommandLine.h"
#include "CliCommands.h"
#include "FileName.h"
#include "RecipeFile.h"
#include "RecipeSheet.h"

#include <QDateTime>
#include <QFileInfo>
#include <QPdfWriter>
#include <QSaveFile>

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

    Recipe recipe;
    QString error;
    if (!ReadRecipeFile(cli.File(), &recipe, &error)) {
        std::fprintf(stderr, "kavo-cli print: %s\n", qPrintable(error));
        return CliFailed;
    }
    // The file's name as the window's title shows it.
    const QString title = DisplayFileName(QFileInfo(cli.File()).fileName());
    // Written beside the target and renamed at the end: a failure leaves an existing OUT.pdf whole.
    QSaveFile file(out);
    if (!file.open(QIODevice::WriteOnly)) {
        std::fprintf(stderr, "kavo-cli print: cannot write %s: %s\n", qPrintable(out),
                     qPrintable(file.errorString()));
        return CliFailed;
    }
    bool painted = false;
    {
        QPdfWriter writer(&file);
        writer.setTitle(title);
        writer.setCreator(QStringLiteral("kavo-cli"));
        RecipeSheet::SetDefaultPageLayout(writer, paper);
        painted = RecipeSheet(recipe, title, QDateTime::currentDateTime()).Print(writer);
    }
    if (!painted || !file.commit()) {
        std::fprintf(stderr, "kavo-cli print: cannot write %s: %s\n", qPrintable(out),
                     qPrintable(painted ? file.errorString() : QStringLiteral("the PDF could not be made")));
        return CliFailed;
    }
    std::printf("kavo-cli print: wrote %s (%d pages, %s)\n", qPrintable(out), RecipeSheet::kPageCount,
                paper == QPageSize::Letter ? "Letter" : "A4");
    return CliOk;
}
