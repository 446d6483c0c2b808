#pragma once

#include <QAction>
#include <QKeySequence>
#include <QString>

// A menu item as the menu shows it: its text, then a tab and the key in the shortcut column where it has one.
inline QString MenuEntry(const QAction* action) {
    const QKeySequence key = action->shortcut();
    return key.isEmpty() ? action->text()
                         : action->text() + QLatin1Char('\t') + key.toString(QKeySequence::NativeText);
}
