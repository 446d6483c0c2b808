#pragma once

#include "CommandIds.h"

#include <QString>
#include <QStringList>

class QWidget;

// Message box types and results, with the framework's numbers.
constexpr UINT MB_OK = 0x0;
constexpr UINT MB_OKCANCEL = 0x1;
constexpr UINT MB_YESNOCANCEL = 0x3;
constexpr UINT MB_YESNO = 0x4;
constexpr UINT MB_ICONERROR = 0x10;
constexpr UINT MB_ICONQUESTION = 0x20;
constexpr UINT MB_ICONEXCLAMATION = 0x30;
constexpr UINT MB_ICONINFORMATION = 0x40;
constexpr UINT MB_TYPEMASK = 0x0F;
constexpr UINT MB_ICONMASK = 0xF0;

constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

// Shows a message box and returns the button pressed. Tests put a scripted answerer in place
// (tests/support/ScriptedMessageBoxes.h).
class IMessageBoxHandler {
  public:
    virtual ~IMessageBoxHandler() = default;
    virtual int Show(QWidget* parent, const QString& caption, const QString& text, UINT type) = 0;
    // A box with buttons of its own, left to right; returns the index of the one pressed.
    // `cancel` is what Escape and the close box answer.
    virtual int ShowButtons(QWidget* parent, const QString& caption, const QString& text, UINT icon,
                            const QStringList& buttons, int cancel) = 0;
    // Closes the open box that shows text, if any, as its cancel button would.
    virtual void Close(const QString& text) = 0;
};

// A modal message box with the application name ("KAVO") as caption. A box without an icon of
// its own gets the question icon when it asks Yes/No, the exclamation icon otherwise. The parent is
// the active window, if any.
int AfxMessageBox(const QString& text, UINT type = MB_OK);
int AfxMessageBox(UINT stringId, UINT type = MB_OK);

// A box with buttons of its own (a question icon unless `icon` names another); returns the index
// of the button pressed, `cancel` for Escape, the close box and a run without a display.
int AfxMessageBox(const QString& text, const QStringList& buttons, int cancel, UINT icon = MB_ICONQUESTION);

// Closes the box that shows text, if one is open, as its cancel button would; for a notice that no longer
// holds (a download that ended while its "running" box was up).
void AfxEndMessageBox(const QString& text);

// Without a display nobody sees a box, so nothing may wait for one: every message goes to standard
// error as "kavo: TEXT" and is answered at once as its cancel button would be (OK for a plain message,
// Cancel or No for a question). A handler set by SetMessageBoxHandler still comes first.
void SetMessageBoxesInteractive(bool interactive);

// Replaces the handler (nullptr: the real boxes); returns the previous one.
IMessageBoxHandler* SetMessageBoxHandler(IMessageBoxHandler* handler);
