#pragma once

#include "FileDialogs.h"

#include <QString>

#include <deque>

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
