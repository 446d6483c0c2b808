#pragma once

#include "CArchive.h"
#include "CCmdTarget.h"
#include "FileError.h"

#include <QObject>
#include <QString>

#include <vector>

class CViewBase;

// The document base: modified flag, path and title, its views, change notification and the
// file operations without any user interaction (the open and save sequences with their
// questions and messages sit on top of these).
class CDocument : public QObject, public CCmdTarget {
    Q_OBJECT

  public:
    CDocument();
    ~CDocument() override;

    // Modified flag: the document decides it (its edits, New, Open and Save); others read it.
    bool IsModified() const { return m_modified; }

    // Path and title. Setting a path makes the file's name the title, shown as DisplayFileName shows it.
    const QString& GetPathName() const { return m_pathName; }
    void SetPathName(const QString& path);
    void ClearPathName();
    const QString& GetTitle() const { return m_title; }
    void SetTitle(const QString& title);

    // Views
    void AddView(CViewBase* view);
    void RemoveView(CViewBase* view);
    const std::vector<CViewBase*>& GetViews() const { return m_views; }
    // Every view but the sender updates.
    void UpdateAllViews(CViewBase* sender, long hint = 0);
    // Every view gets its initial update (after New and after Open).
    void SendInitialUpdate();

    // New: empties the contents, forgets the path and clears the modified flag.
    virtual bool OnNewDocument();
    virtual void DeleteContents() {}
    virtual void Serialize(CArchive& ar) { (void)ar; }

    // Reads path into the document. Fails without touching the document when the file can't be
    // opened (OpenFailed); when its content is short the document may be half read and is left
    // modified (ReadFailed), the message from ReadFailureText. An empty file reads nothing. Path and title
    // are the caller's business.
    enum class ReadResult { Ok, OpenFailed, ReadFailed };
    ReadResult OnOpenDocument(const QString& path, FileError* error);
    // Open without any user interaction, for the window's Open and for command-line tools alike:
    // OnOpenDocument, then on success the document takes path and its title; a file too short
    // leaves a new, untitled, unmodified document (OnNewDocument); a file that can't be opened
    // leaves everything as it was. The views are not updated.
    ReadResult LoadDocument(const QString& path, FileError* error);
    // What the user is to be told of the file at path just read, although it opened (values it holds that
    // an edit could not make); empty for nothing. Shown once, after the views show the document.
    virtual QString OpenedFileNote(const QString& path) const {
        (void)path;
        return {};
    }

    // Writes the document to path with AtomicSave: on failure the old file is untouched and the
    // modified flag stays. On success the document is not modified.
    bool OnSaveDocument(const QString& path, FileError* error);

  protected:
    void SetModifiedFlag(bool modified = true);
    // The message for a file that opened but whose content could not be read (too short), shown with path
    // and size (in bytes). "Unexpected file format." unless the document knows better.
    virtual QString ReadFailureText(const QString& path, qint64 size) const;

  signals:
    void titleChanged(const QString& title);
    void modifiedChanged(bool modified);
    // The contents were emptied to make a new document or to read one from a file (the edit
    // history that led to the old contents has nothing left to act on).
    void contentsReplaced();
    // The document was written to a file and is unmodified from now on.
    void saved();

  private:
    bool m_modified = false;
    QString m_pathName;
    QString m_title;
    std::vector<CViewBase*> m_views;
};
