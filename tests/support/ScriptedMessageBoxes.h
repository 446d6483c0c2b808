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
        QStringList buttons; // a box with buttons of its own; the answer is an index into them
        bool closed = false; // the program closed it while it was up (AfxEndMessageBox)
    };

    CScriptedMessageBoxes();
    ~CScriptedMessageBoxes() override;

    int Show(QWidget* parent, const QString& caption, const QString& text, UINT type) override;
    // Marks the boxes still up that show text as closed.
    void Close(const QString& text) override;
    // Answers from the same queue (an index), the first button when it is empty.
    int ShowButtons(QWidget* parent, const QString& caption, const QString& text, UINT icon,
                    const QStringList& buttons, int cancel) override;

    std::deque<int> answers;
    std::vector<Box> shown;
    // Runs while a box is "up", before it is answered: a test can watch what goes on behind a
    // modal box (the event loop keeps running there in the real program).
    std::function<void(const Box&)> whileShown;

  private:
    int Answer(std::size_t index, int fallback);

    IMessageBoxHandler* m_previous;
    std::vector<std::size_t> m_up; // indices into shown of the boxes up now, innermost last
};
