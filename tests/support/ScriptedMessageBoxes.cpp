#include "ScriptedMessageBoxes.h"

CScriptedMessageBoxes::CScriptedMessageBoxes() : m_previous(SetMessageBoxHandler(this)) {}

CScriptedMessageBoxes::~CScriptedMessageBoxes() {
    SetMessageBoxHandler(m_previous);
}

int CScriptedMessageBoxes::Answer(std::size_t index, int fallback) {
    m_up.push_back(index);
    if (whileShown) {
        // A copy: whileShown may show further boxes, which grows shown.
        const Box box = shown[index];
        whileShown(box);
    }
    m_up.pop_back();
    if (!answers.empty()) {
        const int answer = answers.front();
        answers.pop_front();
        return answer;
    }
    return fallback;
}

int CScriptedMessageBoxes::Show(QWidget*, const QString& caption, const QString& text, UINT type) {
    shown.push_back({caption, text, type, {}});
    switch (type & MB_TYPEMASK) {
    case MB_YESNOCANCEL:
    case MB_YESNO:
        return Answer(shown.size() - 1, IDYES);
    default:
        return Answer(shown.size() - 1, IDOK);
    }
}

int CScriptedMessageBoxes::ShowButtons(QWidget*, const QString& caption, const QString& text, UINT icon,
                                       const QStringList& buttons, int) {
    shown.push_back({caption, text, icon, buttons});
    return Answer(shown.size() - 1, 0);
}

void CScriptedMessageBoxes::Close(const QString& text) {
    for (std::size_t index : m_up) {
        if (shown[index].text == text) {
            shown[index].closed = true;
        }
    }
}
