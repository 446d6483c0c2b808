#include "CSingleDocTemplate.h"

#include "AfxMessageBox.h"
#include "CDocument.h"
#include "CRecentFileList.h"
#include "FileDialogs.h"
#include "StringTable.h"

#include <QFileInfo>
#include <QWidget>

CSingleDocTemplate::CSingleDocTemplate(CDocument* document, CRecentFileList* recentFiles, QObject* parent)
    : QObject(parent), m_pDocument(document), m_pRecentFiles(recentFiles) {
    m_pDocument->SetCommandHandler(ID_FILE_SAVE, [this] { OnFileSave(); });
    m_pDocument->SetCommandHandler(ID_FILE_SAVE_AS, [this] { OnFileSaveAs(); });
}

bool CSingleDocTemplate::OnFileNew() {
    if (!SaveModified()) {
        return false;
    }
    if (!m_pDocument->OnNewDocument()) {
        return false;
    }
    m_pDocument->SetTitle(LoadString(AFX_IDS_UNTITLED));
    m_pDocument->SendInitialUpdate();
    return true;
}

bool CSingleDocTemplate::OnFileOpen() {
    const QString path = AfxGetOpenFileName(m_mainWindow);
    if (path.isEmpty()) {
        return false;
    }
    return OpenDocumentFile(path);
}

bool CSingleDocTemplate::IsOwnFile(const QString& path) const {
    const QString own = m_pDocument->GetPathName();
    if (own.isEmpty()) {
        return false;
    }
    const QFileInfo a(own);
    const QFileInfo b(path);
    if (a.exists() && b.exists()) {
        return a.canonicalFilePath() == b.canonicalFilePath();
    }
    return a.absoluteFilePath() == b.absoluteFilePath();
}

bool CSingleDocTemplate::OpenDocumentFile(const QString& path) {
    if (IsOwnFile(path)) {
        // Already open: nothing is read; the window comes to the front.
        if (m_mainWindow != nullptr) {
            m_mainWindow->activateWindow();
            m_mainWindow->raise();
        }
        return true;
    }
    if (!SaveModified()) {
        return false;
    }
    // A file that can't be opened leaves the document as it was, its modified flag included.
    FileError error;
    switch (m_pDocument->LoadDocument(path, &error)) {
    case CDocument::ReadResult::OpenFailed:
        AfxMessageBox(error.message, MB_ICONEXCLAMATION);
        return false;
    case CDocument::ReadResult::ReadFailed:
        // The half-read recipe has been replaced by a new one: say why, then show it.
        AfxMessageBox(error.message, MB_ICONEXCLAMATION);
        m_pDocument->SendInitialUpdate();
        return false;
    case CDocument::ReadResult::Ok:
        break;
    }
    if (m_pRecentFiles != nullptr) {
        m_pRecentFiles->Add(path);
    }
    m_pDocument->SendInitialUpdate();
    if (const QString note = m_pDocument->OpenedFileNote(path); !note.isEmpty()) {
        AfxMessageBox(note, MB_ICONEXCLAMATION);
    }
    return true;
}

bool CSingleDocTemplate::OnOpenRecentFile(int index) {
    if (m_pRecentFiles == nullptr || index < 0 || index >= m_pRecentFiles->Entries().size()) {
        return false;
    }
    const QString path = m_pRecentFiles->Entries().at(index);
    if (OpenDocumentFile(path)) {
        return true;
    }
    // Drop an entry that could not be opened (gone, unreadable); keep it when the user cancelled.
    if (!QFileInfo(path).isReadable()) {
        m_pRecentFiles->Remove(static_cast<int>(m_pRecentFiles->Entries().indexOf(path)));
    }
    return false;
}

bool CSingleDocTemplate::OnFileSave() {
    return DoSave(m_pDocument->GetPathName(), true);
}

bool CSingleDocTemplate::OnFileSaveAs() {
    return DoSave(QString(), true);
}

bool CSingleDocTemplate::DoSave(const QString& path, bool replace) {
    QString target = path;
    if (target.isEmpty()) {
        const QString suggested =
            m_pDocument->GetPathName().isEmpty() ? m_pDocument->GetTitle() : m_pDocument->GetPathName();
        target = AfxGetSaveFileName(m_mainWindow, suggested);
        if (target.isEmpty()) {
            return false;
        }
    }
    FileError error;
    if (!m_pDocument->OnSaveDocument(target, &error)) {
        AfxMessageBox(error.message, MB_ICONEXCLAMATION);
        return false;
    }
    if (replace) {
        m_pDocument->SetPathName(target);
        if (m_pRecentFiles != nullptr) {
            m_pRecentFiles->Add(target);
        }
    }
    return true;
}

bool CSingleDocTemplate::SaveModified() {
    if (!m_pDocument->IsModified()) {
        return true;
    }
    switch (AfxMessageBox(FormatString1(AFX_IDP_ASK_TO_SAVE, m_pDocument->GetTitle()), MB_YESNOCANCEL)) {
    case IDCANCEL:
        return false;
    case IDYES:
        return OnFileSave();
    default:
        return true;
    }
}
