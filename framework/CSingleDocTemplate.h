#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

class CDocument;
class CRecentFileList;
class QWidget;

// The one-document template: the New, Open and Save sequences with their questions and messages,
// on a document that lives for the whole run and is reused by every New and Open.
class CSingleDocTemplate : public QObject {
    Q_OBJECT

  public:
    CSingleDocTemplate(CDocument* document, CRecentFileList* recentFiles, QObject* parent = nullptr);

    CDocument* GetDocument() const { return m_pDocument; }
    void SetMainWindow(QWidget* window) { m_mainWindow = window; }

    // New: asks to save a modified recipe first; false when the user cancelled.
    bool OnFileNew();
    // Open: the open dialog, then OpenDocumentFile.
    bool OnFileOpen();
    // Opens path into the document (also the recent list, a dropped file, the command line).
    // Opening the document's own file again reads nothing. A file that can't be opened leaves the
    // document as it was; a file too short resets it to a new, untitled recipe.
    bool OpenDocumentFile(const QString& path);
    // The recent-file entry at index; a file that can't be opened leaves the list.
    bool OnOpenRecentFile(int index);

    bool OnFileSave();
    bool OnFileSaveAs();
    // Saves to path (empty: ask with the save dialog). With replace the document takes the new
    // path and title. Failures are reported; the document then stays modified.
    bool DoSave(const QString& path, bool replace = true);

    // "Save changes to %1?" for a modified document: Yes saves, No goes on, Cancel stops.
    // True when the caller may go on.
    bool SaveModified();

  private:
    bool IsOwnFile(const QString& path) const;

    CDocument* m_pDocument;
    CRecentFileList* m_pRecentFiles;
    QPointer<QWidget> m_mainWindow;
};
