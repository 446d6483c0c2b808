#include "CDocument.h"

#include "CViewBase.h"
#include "FileAccess.h"
#include "FileName.h"
#include "StringTable.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>

CDocument::CDocument() : m_title(LoadString(AFX_IDS_UNTITLED)) {}

CDocument::~CDocument() {
    for (CViewBase* view : m_views) {
        view->m_pDocument = nullptr;
    }
}

void CDocument::SetModifiedFlag(bool modified) {
    if (m_modified != modified) {
        m_modified = modified;
        emit modifiedChanged(modified);
    }
}

void CDocument::SetPathName(const QString& path) {
    // QFileInfo makes a relative name absolute through a lossy decoding of the current folder: join it
    // here with the folder's own bytes.
    QString absolute = path;
    if (QDir::isRelativePath(path)) {
        if (char* cwd = ::getcwd(nullptr, 0)) {
            absolute = DecodeFileName(QByteArray(cwd)) + QLatin1Char('/') + path;
            std::free(cwd);
        }
    }
    const QFileInfo info(absolute);
    m_pathName = info.absoluteFilePath();
    SetTitle(DisplayFileName(info.fileName()));
}

void CDocument::ClearPathName() {
    m_pathName.clear();
}

void CDocument::SetTitle(const QString& title) {
    if (m_title != title) {
        m_title = title;
    }
    emit titleChanged(m_title);
}

void CDocument::AddView(CViewBase* view) {
    if (view->m_pDocument == this) {
        return;
    }
    if (view->m_pDocument != nullptr) {
        view->m_pDocument->RemoveView(view);
    }
    m_views.push_back(view);
    view->m_pDocument = this;
}

void CDocument::RemoveView(CViewBase* view) {
    const auto it = std::find(m_views.begin(), m_views.end(), view);
    if (it != m_views.end()) {
        m_views.erase(it);
        view->m_pDocument = nullptr;
    }
}

void CDocument::UpdateAllViews(CViewBase* sender, long hint) {
    // Copy: an update may not add or remove views, but be safe against it.
    const std::vector<CViewBase*> views = m_views;
    for (CViewBase* view : views) {
        if (view != sender) {
            view->OnUpdate(sender, hint);
        }
    }
}

void CDocument::SendInitialUpdate() {
    const std::vector<CViewBase*> views = m_views;
    for (CViewBase* view : views) {
        view->OnInitialUpdate();
    }
}

bool CDocument::OnNewDocument() {
    DeleteContents();
    emit contentsReplaced();
    m_pathName.clear();
    SetModifiedFlag(false);
    return true;
}

CDocument::ReadResult CDocument::OnOpenDocument(const QString& path, FileError* error) {
    FileError dummy;
    FileError& err = error != nullptr ? *error : dummy;
    QFile file;
    bool empty = false;
    if (!OpenForReading(path, file, &empty, &err)) {
        return ReadResult::OpenFailed;
    }
    DeleteContents();
    emit contentsReplaced();
    SetModifiedFlag(true); // stays set when the read fails part way
    if (!empty) {
        CArchive ar(&file);
        try {
            Serialize(ar);
        } catch (const CArchiveException&) {
            err.stringId = AFX_IDP_FAILED_INVALID_FORMAT;
            err.message = ReadFailureText(path, file.size());
            return ReadResult::ReadFailed;
        }
    }
    SetModifiedFlag(false);
    return ReadResult::Ok;
}

QString CDocument::ReadFailureText(const QString&, qint64) const {
    return LoadString(AFX_IDP_FAILED_INVALID_FORMAT);
}

CDocument::ReadResult CDocument::LoadDocument(const QString& path, FileError* error) {
    const ReadResult result = OnOpenDocument(path, error);
    switch (result) {
    case ReadResult::Ok:
        SetPathName(path);
        break;
    case ReadResult::ReadFailed:
        // Half read: start again from a new, untitled document.
        SetTitle(LoadString(AFX_IDS_UNTITLED));
        OnNewDocument();
        break;
    case ReadResult::OpenFailed:
        break;
    }
    return result;
}

bool CDocument::OnSaveDocument(const QString& path, FileError* error) {
    CArchive ar;
    Serialize(ar);
    if (!AtomicSave(path, ar.bytes(), error)) {
        return false;
    }
    SetModifiedFlag(false);
    emit saved();
    return true;
}
