#pragma once

#include <QString>

#include <functional>
#include <memory>

class CKAVODoc;
class QPrinter;
class QWidget;

// The print commands of the window and of the command line, with the printer settings of the session:
// what Print Setup or the print dialog chose is used by the next Print and Print Preview of the run.
class CSheetPrinter {
  public:
    // Finds a printer by its name (empty: the default printer); nullptr when there is none. Tests give a
    // printer that writes a PDF file, since no real one can be had there.
    using PrinterLookup = std::function<std::unique_ptr<QPrinter>(const QString& name)>;

    CSheetPrinter();
    ~CSheetPrinter();

    // The session's printer and page settings, made at the first print command.
    QPrinter& Printer();

    // File > Print: the print dialog (a PDF file is one of its choices), then the sheet on what was chosen.
    void OnFilePrint(const CKAVODoc& doc, QWidget* parent);
    // File > Print Preview: the sheet as it will print, with the preview's own print button.
    void OnFilePrintPreview(const CKAVODoc& doc, QWidget* parent);
    // File > Print Setup: paper, orientation and margins for the next print of this run.
    void OnFilePrintSetup(QWidget* parent);
    // Prints without a dialog on the named printer, or the default one for an empty name (kavo /p, /pt).
    // False after telling the user why nothing was printed.
    bool PrintDirect(const CKAVODoc& doc, const QString& printerName);

    void SetPrinterLookup(PrinterLookup lookup) { m_lookup = std::move(lookup); }

    // The sheet of doc on printer; false after telling the user that it could not be printed.
    static bool PrintSheet(const CKAVODoc& doc, QPrinter& printer);

  private:
    std::unique_ptr<QPrinter> m_printer;
    PrinterLookup m_lookup;
};
