#include "ScriptedMessageBoxes.h"

CScriptedMessageBoxes::CScriptedMessageBoxes() : m_previous(SetMessageBoxHandler(this)) {}

CScriptedMessageBoxes::~CScriptedMessageBoxes() {
    SetMessageBoxHandler(m_previous);
}

int CScriptedMessageBoxes::Show(QWidget*, const QString& caption, const QString& text, UINT type) {
    shown.push_back({caption, text, type});
    if (whileShown) {
        whileShown(shown.back());
    }
    if (!answers.empty()) {
        const int answer = answers.front();
        answers.pop_front();
        return answer;
    }
    switch (type & MB_TYPEMASK) {
    case MB_YESNOCANCEL:
    case MB_YESNO:
        return IDYES;
    default:
        return IDOK;
    }
}
