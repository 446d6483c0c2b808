#include "ScriptedFileDialogs.h"

CScriptedFileDialogs::CScriptedFileDialogs() : m_previous(SetFileDialogHandler(this)) {}

CScriptedFileDialogs::~CScriptedFileDialogs() {
    SetFileDialogHandler(m_previous);
}

QString CScriptedFileDialogs::GetOpenFileName(QWidget*, const QString& filters) {
    ++openAsked;
    lastFilters = filters;
    if (openAnswers.empty()) {
        return QString();
    }
    QString answer = openAnswers.front();
    openAnswers.pop_front();
    return answer;
}

QString CScriptedFileDialogs::GetSaveFileName(QWidget*, const QString& filters, const QString& suggestedName,
                                              const QString&) {
    ++saveAsked;
    lastFilters = filters;
    lastSuggestedName = suggestedName;
    if (saveAnswers.empty()) {
        return QString();
    }
    QString answer = saveAnswers.front();
    saveAnswers.pop_front();
    return answer;
}
