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

// True when an installation (the Debian package, or cmake --install) put the desktop entry beside the
// program at executablePath (<prefix>/bin/kavo and <prefix>/share/applications/kavo.desktop) in a data
// folder the desktop searches (XDG_DATA_HOME, XDG_DATA_DIRS): the desktop then knows the program and
// its ".aid" type without a per-user registration.
bool ProvidedByInstallation(const QString& executablePath);

QString DataHome();
QString MimePackagePath();
QString DesktopEntryPath();
QString IconPath();

} // namespace ShellRegistration
