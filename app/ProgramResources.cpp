#include "ProgramResources.h"

#include <QFile>

namespace {

QByteArray Resource(const char* name) {
    QFile file(QLatin1String(":/kavo/") + QLatin1String(name));
    // Built into the program: a missing resource is a build fault, and reads as empty.
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

QPixmap ToolbarStrip() {
    return QPixmap(QStringLiteral(":/kavo/toolbar.png"));
}

QIcon ToolbarIcon(int index) {
    static const QPixmap strip = ToolbarStrip();
    return QIcon(strip.copy(index * kToolbarButtonWidth, 0, kToolbarButtonWidth, kToolbarButtonHeight));
}

QIcon ProgramIcon() {
    QIcon icon;
    for (int size : {16, 32, 48, 64}) {
        icon.addFile(QStringLiteral(":/kavo/icons/kavo-%1.png").arg(size), QSize(size, size));
    }
    return icon;
}

QByteArray ProgramIconPng() {
    return Resource("icons/kavo-48.png");
}

QByteArray DesktopEntryTemplate() {
    return Resource("kavo.desktop");
}

QByteArray MimePackage() {
    return Resource("kavo-document.xml");
}
