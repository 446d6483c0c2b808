#pragma once

#include <QString>

class QWidget;

// The open and save dialogs of the file commands, behind an interface that tests replace.
// An empty result means the user cancelled.
class IFileDialogHandler {
  public:
    virtual ~IFileDialogHandler() = default;
    virtual QString GetOpenFileName(QWidget* parent, const QString& filters) = 0;
    virtual QString GetSaveFileName(QWidget* parent, const QString& filters, const QString& suggestedName,
                                    const QString& defaultSuffix) = 0;
};

QString AfxGetOpenFileName(QWidget* parent);
// suggestedName: the document's path, or its title for an untitled document.
QString AfxGetSaveFileName(QWidget* parent, const QString& suggestedName);

// The document filters: "KAVO Files (*.aid)" and "All Files (*.*)".
QString DocumentFilters();

IFileDialogHandler* SetFileDialogHandler(IFileDialogHandler* handler);

class QFileDialog;
// Makes "All Files (*.*)" list every file, names without a dot included (used by the real dialogs).
void ShowAllFilesUnderAllFilesFilter(QFileDialog& dialog);
