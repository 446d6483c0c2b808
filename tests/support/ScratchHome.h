#pragma once

#include <QTemporaryDir>

#include <QtGlobal>

// Points the program's settings, desktop registration and port folder into home, so that a test never
// touches the user's own (scripts/test sets the same for the whole run; these keep one test from another).
inline void UseScratchHome(const QTemporaryDir& home) {
    qputenv("XDG_CONFIG_HOME", home.filePath("config").toUtf8());
    qputenv("XDG_DATA_HOME", home.filePath("data").toUtf8());
    qputenv("KAVO_PORTS_DIR", home.filePath("ports").toUtf8());
}
