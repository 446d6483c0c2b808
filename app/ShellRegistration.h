#pragma once

#include <QString>

#include <functional>

// The desktop's knowledge of ".aid" files: a shared-mime-info type "KAVO.Document" for "*.aid",
// a desktop entry that opens a file with this program (%f), and the icon, all under
// XDG_DATA_HOME (default ~/.local/share). Files are rewritten and the desktop's caches refreshed
// only when something changed.
namespace ShellRegistration {

// Runs one of the desktop's database tools (update-mime-database, update-desktop-database) over a folder.
using ToolRunner = std::function<void(const QString& tool, const QString& folder)>;
// The tool where it is installed, waited for (at most 10 s); nothing where it is not.
void RunTool(const QString& tool, const QString& folder);

// Writes the files for the program at executablePath; true when everything is in place. A file is written
// only when its content differs, a folder made only when missing, and a tool run only for a file it reads
// that changed: a start with everything in place writes nothing and starts no process.
bool Register(const QString& executablePath, const ToolRunner& runTool = RunTool);
// Removes them; true when nothing of them is left. The tools run only for a file that was removed.
bool Unregister(const ToolRunner& runTool = RunTool);

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
