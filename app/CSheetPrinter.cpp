#include "CSheetPrinter.h"

#include "AfxMessageBox.h"
#include "CKAVODoc.h"
#include "RecipeSheet.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QPageSetupDialog>
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
    if (RecipeSheet(doc.GetRecipe(), doc.GetTitle(), QDateTime::currentDateTime()).Print(printer)) {
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
    // The preview paints again for every change of zoom or page setup; its print button prints the same.
    const RecipeSheet sheet(doc.GetRecipe(), doc.GetTitle(), QDateTime::currentDateTime());
    QObject::connect(&preview, &QPrintPreviewDialog::paintRequested, &preview,
                     [&sheet, &doc](QPrinter* printer) {
                         printer->setDocName(doc.GetTitle());
                         sheet.Print(*printer);
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
