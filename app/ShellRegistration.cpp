#include "ShellRegistration.h"

#include "FileAccess.h"
#include "ProgramResources.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

namespace ShellRegistration {

namespace {

// Writes content to path unless it already holds exactly that; true when it changed the file.
bool WriteIfChanged(const QString& path, const QByteArray& content, bool* ok) {
    QFile existing;
    if (OpenForReading(path, existing, nullptr, nullptr) && existing.readAll() == content) {
        return false;
    }
    existing.close();
    QDir().mkpath(QFileInfo(path).absolutePath());
    if (!AtomicSave(path, content)) {
        *ok = false;
        return false;
    }
    return true;
}

void RunIfPresent(const QString& program, const QStringList& args) {
    const QString path = QStandardPaths::findExecutable(program);
    if (path.isEmpty()) {
        return;
    }
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.start(path, args);
    process.waitForFinished(10000);
}

// The program path as one quoted argument of an Exec key: inside the quotes \ " ` $ are escaped
// with a backslash, every backslash is then escaped again for the key's string value, and a
// literal % is written %%.
QString QuoteExec(const QString& path) {
    QString quoted;
    for (const QChar ch : path) {
        if (ch == QLatin1Char('\\') || ch == QLatin1Char('"') || ch == QLatin1Char('`') ||
            ch == QLatin1Char('$')) {
            quoted += QLatin1Char('\\');
        }
        quoted += ch;
    }
    quoted.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    quoted.replace(QLatin1Char('%'), QLatin1String("%%"));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

// The data folders the desktop searches for applications, most important first.
QStringList DataFolders() {
    QStringList folders{DataHome()};
    QString dirs = qEnvironmentVariable("XDG_DATA_DIRS");
    if (dirs.isEmpty()) {
        dirs = QStringLiteral("/usr/local/share:/usr/share");
    }
    for (const QString& dir : dirs.split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
        if (QDir::isAbsolutePath(dir)) {
            folders << dir;
        }
    }
    return folders;
}

} // namespace

bool ProvidedByInstallation(const QString& executablePath) {
    // KAVO_APPLICATIONS_FROM_BINDIR: the install's applications folder seen from its program folder
    // ("../share/applications"), so the check follows the prefix the program was installed to.
    const QString applications = QFileInfo(QFileInfo(executablePath).absolutePath() + QLatin1Char('/') +
                                           QLatin1String(KAVO_APPLICATIONS_FROM_BINDIR))
                                     .canonicalFilePath();
    if (applications.isEmpty() || !QFileInfo::exists(applications + QLatin1String("/kavo.desktop"))) {
        return false;
    }
    for (const QString& folder : DataFolders()) {
        const QString canonical = QFileInfo(folder + QLatin1String("/applications")).canonicalFilePath();
        if (!canonical.isEmpty() && canonical == applications) {
            return true;
        }
    }
    return false;
}

QString DataHome() {
    const QString env = qEnvironmentVariable("XDG_DATA_HOME");
    if (!env.isEmpty() && QDir::isAbsolutePath(env)) {
        return env;
    }
    return QDir::homePath() + QLatin1String("/.local/share");
}

QString MimePackagePath() {
    return DataHome() + QLatin1String("/mime/packages/kavo-document.xml");
}

QString DesktopEntryPath() {
    return DataHome() + QLatin1String("/applications/kavo.desktop");
}

QString IconPath() {
    return DataHome() + QLatin1String("/icons/hicolor/48x48/apps/kavo.png");
}

bool Register(const QString& executablePath) {
    bool ok = true;
    const QByteArray mime = MimePackage();
    const QByteArray desktop = DesktopEntryTemplate().replace(
        "@EXEC@", QuoteExec(QFileInfo(executablePath).absoluteFilePath()).toUtf8());
    const QByteArray icon = ProgramIconPng();
    if (mime.isEmpty() || desktop.isEmpty() || icon.isEmpty()) {
        return false; // the built-in files are missing: nothing half-written
    }
    const bool mimeChanged = WriteIfChanged(MimePackagePath(), mime, &ok);
    const bool desktopChanged = WriteIfChanged(DesktopEntryPath(), desktop, &ok);
    WriteIfChanged(IconPath(), icon, &ok);
    if (mimeChanged) {
        RunIfPresent(QStringLiteral("update-mime-database"), {DataHome() + QLatin1String("/mime")});
    }
    if (desktopChanged) {
        RunIfPresent(QStringLiteral("update-desktop-database"),
                     {DataHome() + QLatin1String("/applications")});
    }
    return ok;
}

bool Unregister() {
    bool ok = true;
    for (const QString& path : {MimePackagePath(), DesktopEntryPath(), IconPath()}) {
        if (QFileInfo::exists(path) && !QFile::remove(path)) {
            ok = false;
        }
    }
    RunIfPresent(QStringLiteral("update-mime-database"), {DataHome() + QLatin1String("/mime")});
    RunIfPresent(QStringLiteral("update-desktop-database"), {DataHome() + QLatin1String("/applications")});
    return ok;
}

} // namespace ShellRegistration
