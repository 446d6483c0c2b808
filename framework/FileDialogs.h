#pragma once

#include <QString>

#include <deque>

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

// For tests: answers from queues of paths (empty string = cancel), records how often it was asked.
class CScriptedFileDialogs : public IFileDialogHandler {
  public:
    CScriptedFileDialogs();
    ~CScriptedFileDialogs() override;
    QString GetOpenFileName(QWidget* parent, const QString& filters) override;
    QString GetSaveFileName(QWidget* parent, const QString& filters, const QString& suggestedName,
                            const QString& defaultSuffix) override;

    std::deque<QString> openAnswers;
    std::deque<QString> saveAnswers;
    int openAsked = 0;
    int saveAsked = 0;
    QString lastFilters;
    QString lastSuggestedName;

  private:
    IFileDialogHandler* m_previous;
};
