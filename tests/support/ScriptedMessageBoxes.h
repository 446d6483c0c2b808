#pragma once

#include "AfxMessageBox.h"

#include <QString>

#include <deque>
#include <functional>
#include <vector>

// A handler for tests: records every box and answers from a queue (IDOK, or the first button of
// the type, when the queue is empty).
class CScriptedMessageBoxes : public IMessageBoxHandler {
  public:
    struct Box {
        QString caption;
        QString text;
        UINT type;
    };

    CScriptedMessageBoxes();
    ~CScriptedMessageBoxes() override;

    int Show(QWidget* parent, const QString& caption, const QString& text, UINT type) override;

    std::deque<int> answers;
    std::vector<Box> shown;
    // Runs while a box is "up", before it is answered: a test can watch what goes on behind a
    // modal box (the event loop keeps running there in the real program).
    std::function<void(const Box&)> whileShown;

  private:
    IMessageBoxHandler* m_previous;
};
