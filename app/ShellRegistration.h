#pragma once

#include <QString>

// The desktop's knowledge of ".aid" files: a shared-mime-info type "KAVO.Document" for "*.aid",
// a desktop entry that opens a file with this program (%f), and the icon, all under
// XDG_DATA_HOME (default ~/.local/share). Files are rewritten and the desktop's caches refreshed
// only when something changed.
namespace ShellRegistration {

// Writes the files for the program at executablePath; true when everything is in place.
bool Register(const QString& executablePath);
// Removes them; true when nothing of them is left.
bool Unregister();

QString DataHome();
QString MimePackagePath();
QString DesktopEntryPath();
QString IconPath();

} // namespace ShellRegistration
