#include "AfxMessageBox.h"

#include "StringTable.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

#include <cstdio>

namespace {

void SetIcon(QMessageBox& box, UINT type) {
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
}

// The answer of a box's cancel button: what Escape, the close box and a run without a display give.
int CancelAnswer(UINT type) {
    switch (type & MB_TYPEMASK) {
    case MB_YESNO:
        return IDNO;
    case MB_OKCANCEL:
    case MB_YESNOCANCEL:
        return IDCANCEL;
    default:
        return IDOK;
    }
}

class CQtMessageBoxes : public IMessageBoxHandler {
  public:
    void Close(const QString& text) override {
        for (QMessageBox* box : m_open) {
            if (box->text() == text) {
                box->reject();
            }
        }
    }

    int ShowButtons(QWidget* parent, const QString& caption, const QString& text, UINT icon,
                    const QStringList& buttons, int cancel) override {
        QMessageBox box(parent);
        box.setWindowTitle(caption);
        box.setText(text);
        SetIcon(box, icon);
        std::vector<QPushButton*> pushButtons;
        for (const QString& label : buttons) {
            pushButtons.push_back(box.addButton(label, QMessageBox::ActionRole));
        }
        if (cancel >= 0 && cancel < static_cast<int>(pushButtons.size())) {
            box.setEscapeButton(pushButtons[static_cast<size_t>(cancel)]);
        }
        if (!pushButtons.empty()) {
            box.setDefaultButton(pushButtons.front());
        }
        Exec(box);
        for (size_t i = 0; i < pushButtons.size(); ++i) {
            if (box.clickedButton() == pushButtons[i]) {
                return static_cast<int>(i);
            }
        }
        return cancel;
    }

    int Show(QWidget* parent, const QString& caption, const QString& text, UINT type) override {
        QMessageBox box(parent);
        box.setWindowTitle(caption);
        box.setText(text);
        SetIcon(box, type);
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
        Exec(box);
        const auto pressed = box.standardButton(box.clickedButton());
        for (const Button& b : buttons) {
            if (b.button == pressed) {
                return b.result;
            }
        }
        return CancelAnswer(type);
    }

  private:
    void Exec(QMessageBox& box) {
        m_open.push_back(&box);
        box.exec();
        m_open.pop_back();
    }

    // The boxes being shown, innermost last.
    std::vector<QMessageBox*> m_open;
};

// Nobody to answer: the text goes to standard error, the answer is the cancel button's.
class CStderrMessageBoxes : public IMessageBoxHandler {
  public:
    int Show(QWidget*, const QString&, const QString& text, UINT type) override {
        Print(text);
        return CancelAnswer(type);
    }

    int ShowButtons(QWidget*, const QString&, const QString& text, UINT, const QStringList& buttons,
                    int cancel) override {
        Print(text + QStringLiteral(" [%1]").arg(buttons.value(cancel)));
        return cancel;
    }

    void Close(const QString&) override {}

  private:
    static void Print(const QString& text) {
        std::fprintf(stderr, "kavo: %s\n", qPrintable(text));
        std::fflush(stderr);
    }
};

IMessageBoxHandler* g_handler = nullptr;
bool g_interactive = true;

IMessageBoxHandler& Handler() {
    static CQtMessageBoxes real;
    static CStderrMessageBoxes stderrBoxes;
    if (g_handler != nullptr) {
        return *g_handler;
    }
    if (!g_interactive) {
        return stderrBoxes;
    }
    return real;
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

int AfxMessageBox(const QString& text, const QStringList& buttons, int cancel, UINT icon) {
    if ((icon & MB_ICONMASK) == 0) {
        icon |= MB_ICONQUESTION;
    }
    return Handler().ShowButtons(QApplication::activeWindow(), LoadString(AFX_IDS_APP_TITLE), text, icon,
                                 buttons, cancel);
}

void AfxEndMessageBox(const QString& text) {
    Handler().Close(text);
}

void SetMessageBoxesInteractive(bool interactive) {
    g_interactive = interactive;
}

IMessageBoxHandler* SetMessageBoxHandler(IMessageBoxHandler* handler) {
    IMessageBoxHandler* previous = g_handler;
    g_handler = handler;
    return previous;
}
