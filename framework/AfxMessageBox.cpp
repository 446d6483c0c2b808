#include "AfxMessageBox.h"

#include "StringTable.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

namespace {

class CQtMessageBoxes : public IMessageBoxHandler {
  public:
    int Show(QWidget* parent, const QString& caption, const QString& text, UINT type) override {
        QMessageBox box(parent);
        box.setWindowTitle(caption);
        box.setText(text);
        switch (type & MB_ICONMASK) {
        case MB_ICONERROR:
            box.setIcon(QMessageBox::Critical);
            break;
        case MB_ICONQUESTION:
            box.setIcon(QMessageBox::Question);
            break;
        case MB_ICONINFORMATION:
            box.setIcon(QMessageBox::Information);
            break;
        default:
            box.setIcon(QMessageBox::Warning);
            break;
        }
        struct Button {
            QMessageBox::StandardButton button;
            int result;
        };
        std::vector<Button> buttons;
        switch (type & MB_TYPEMASK) {
        case MB_OKCANCEL:
            buttons = {{QMessageBox::Ok, IDOK}, {QMessageBox::Cancel, IDCANCEL}};
            break;
        case MB_YESNOCANCEL:
            buttons = {{QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}, {QMessageBox::Cancel, IDCANCEL}};
            break;
        case MB_YESNO:
            buttons = {{QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}};
            break;
        default:
            buttons = {{QMessageBox::Ok, IDOK}};
            break;
        }
        for (const Button& b : buttons) {
            box.addButton(b.button);
        }
        box.setDefaultButton(buttons.front().button);
        if ((type & MB_TYPEMASK) == MB_YESNOCANCEL || (type & MB_TYPEMASK) == MB_OKCANCEL) {
            box.setEscapeButton(QMessageBox::Cancel);
        }
        box.exec();
        const auto pressed = box.standardButton(box.clickedButton());
        for (const Button& b : buttons) {
            if (b.button == pressed) {
                return b.result;
            }
        }
        return (type & MB_TYPEMASK) == MB_YESNO ? IDNO : ((type & MB_TYPEMASK) == MB_OK ? IDOK : IDCANCEL);
    }
};

IMessageBoxHandler* g_handler = nullptr;

IMessageBoxHandler& Handler() {
    static CQtMessageBoxes real;
    return g_handler != nullptr ? *g_handler : real;
}

} // namespace

int AfxMessageBox(const QString& text, UINT type) {
    // A box without an icon of its own: a question for Yes/No boxes, the exclamation mark otherwise.
    if ((type & MB_ICONMASK) == 0) {
        const UINT buttons = type & MB_TYPEMASK;
        type |= (buttons == MB_YESNO || buttons == MB_YESNOCANCEL) ? MB_ICONQUESTION : MB_ICONEXCLAMATION;
    }
    return Handler().Show(QApplication::activeWindow(), LoadString(AFX_IDS_APP_TITLE), text, type);
}

int AfxMessageBox(UINT stringId, UINT type) {
    return AfxMessageBox(LoadString(stringId), type);
}

IMessageBoxHandler* SetMessageBoxHandler(IMessageBoxHandler* handler) {
    IMessageBoxHandler* previous = g_handler;
    g_handler = handler;
    return previous;
}
