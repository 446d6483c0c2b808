#include "CSheetPrinter.h"

#include "AfxMessageBox.h"
#include "CKAVODoc.h"
#include "FileAccess.h"
#include "FileName.h"
#include "RecipeSheet.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDateTime>
#include <QPageSetupDialog>
#include <QPaintEngine>
#include <QPdfWriter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPrinterInfo>

namespace {

std::unique_ptr<QPrinter> SystemPrinter(const QString& name) {
    const QPrinterInfo info =
        name.isEmpty() ? QPrinterInfo::defaultPrinter() : QPrinterInfo::printerInfo(name);
    if (info.isNull()) {
        return nullptr;
    }
    return std::make_unique<QPrinter>(info, QPrinter::HighResolution);
}

// The sheet's layout on whatever paper the printer has: portrait, default margins.
void UseSheetLayout(QPrinter& printer) {
    const QPageSize paper = printer.pageLayout().pageSize();
    RecipeSheet::SetDefaultPageLayout(printer, paper.isValid() ? paper.id() : QPageSize::A4);
}

RecipeSheet SheetOf(const CKAVODoc& doc) {
    return RecipeSheet(doc.GetRecipe(), doc.GetTitle(), doc.IsModified(), QDateTime::currentDateTime());
}

// A printer that writes a PDF file (Print to File), as opposed to a printer, or the preview's pages.
bool WritesPdfFile(QPrinter& printer) {
    return printer.outputFormat() == QPrinter::PdfFormat && !printer.outputFileName().isEmpty() &&
           printer.paintEngine() != nullptr && printer.paintEngine()->type() == QPaintEngine::Pdf;
}

// Print to File: the pages are made in memory with the printer's paper and resolution, then saved as every
// file of the program is (AtomicSave: beside the target and renamed over it, regular files only), never
// over the recipe being printed. False after telling the user why nothing was written.
bool SavePdf(const RecipeSheet& sheet, const CKAVODoc& doc, QPrinter& printer) {
    const QString file = printer.outputFileName();
    const QString shown = DisplayFileName(file);
    if (!doc.GetPathName().isEmpty() && SameFile(doc.GetPathName(), file)) {
        AfxMessageBox(QCoreApplication::translate(
                          "CSheetPrinter", "%1 is the recipe being printed: the sheet was not written there.")
                          .arg(shown),
                      MB_ICONERROR);
        return false;
    }
    QByteArray pdf;
    bool painted = false;
    {
        QBuffer buffer(&pdf);
        buffer.open(QIODevice::WriteOnly);
        QPdfWriter writer(&buffer);
        writer.setResolution(printer.resolution());
        writer.setPageLayout(printer.pageLayout());
        writer.setTitle(printer.docName());
        writer.setCreator(printer.creator());
        painted = sheet.Print(writer);
    }
    FileError error;
    if (painted && AtomicSave(file, pdf, &error)) {
        return true;
    }
    QString text =
        QCoreApplication::translate("CSheetPrinter", "The recipe could not be printed on %1.").arg(shown);
    if (!error.ok()) {
        text += QLatin1Char('\n') + error.message;
    }
    AfxMessageBox(text, MB_ICONERROR);
    return false;
}

} // namespace

CSheetPrinter::CSheetPrinter() : m_lookup(SystemPrinter) {}

CSheetPrinter::~CSheetPrinter() = default;

QPrinter& CSheetPrinter::Printer() {
    if (m_printer == nullptr) {
        m_printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
        UseSheetLayout(*m_printer);
    }
    return *m_printer;
}

bool CSheetPrinter::PrintSheet(const CKAVODoc& doc, QPrinter& printer) {
    printer.setDocName(doc.GetTitle());
    const RecipeSheet sheet = SheetOf(doc);
    if (WritesPdfFile(printer)) {
        return SavePdf(sheet, doc, printer);
    }
    if (sheet.Print(printer)) {
        return true;
    }
    const QString where =
        printer.outputFileName().isEmpty() ? printer.printerName() : printer.outputFileName();
    AfxMessageBox(
        QCoreApplication::translate("CSheetPrinter", "The recipe could not be printed on %1.").arg(where),
        MB_ICONERROR);
    return false;
}

void CSheetPrinter::OnFilePrint(const CKAVODoc& doc, QWidget* parent) {
    QPrintDialog dialog(&Printer(), parent);
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, false);
    if (dialog.exec() == QDialog::Accepted) {
        PrintSheet(doc, Printer());
    }
}

void CSheetPrinter::OnFilePrintPreview(const CKAVODoc& doc, QWidget* parent) {
    QPrintPreviewDialog preview(&Printer(), parent);
    // The preview paints again for every change of zoom or page setup; its print button prints the same,
    // to a PDF file as Print does.
    const RecipeSheet sheet = SheetOf(doc);
    QObject::connect(&preview, &QPrintPreviewDialog::paintRequested, &preview,
                     [&sheet, &doc](QPrinter* printer) {
                         printer->setDocName(doc.GetTitle());
                         if (WritesPdfFile(*printer)) {
                             SavePdf(sheet, doc, *printer);
                         } else {
                             sheet.Print(*printer);
                         }
                     });
    preview.exec();
}

void CSheetPrinter::OnFilePrintSetup(QWidget* parent) {
    QPageSetupDialog dialog(&Printer(), parent);
    dialog.exec();
}

bool CSheetPrinter::PrintDirect(const CKAVODoc& doc, const QString& printerName) {
    std::unique_ptr<QPrinter> printer = m_lookup ? m_lookup(printerName) : nullptr;
    if (printer == nullptr) {
        AfxMessageBox(
            printerName.isEmpty()
                ? QCoreApplication::translate(
                      "CSheetPrinter", "No printer is set up on this computer: the recipe was not printed.")
                : QCoreApplication::translate("CSheetPrinter",
                                              "The printer %1 was not found: the recipe was not printed.")
                      .arg(printerName),
            MB_ICONERROR);
        return false;
    }
    UseSheetLayout(*printer);
    return PrintSheet(doc, *printer);
}
