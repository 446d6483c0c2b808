#include "RecipeFile.h"

#include "AidFormat.h"
#include "FileAccess.h"
#include "FileName.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <span>

bool ReadRecipeFile(const QString& path, Recipe* recipe, QString* error) {
    QFile file;
    bool empty = false;
    FileError err;
    if (!OpenForReading(path, file, &empty, &err)) {
        if (error != nullptr) {
            *error = err.message;
        }
        return false;
    }
    if (empty) {
        return true;
    }
    const QByteArray bytes = file.read(static_cast<qint64>(kAidFileSize));
    const auto decoded = DecodeAid(std::span(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                             static_cast<std::size_t>(bytes.size())));
    if (!decoded) {
        if (error != nullptr) {
            *error = RecipeFileSizeText(path, file.size());
        }
        return false;
    }
    *recipe = *decoded;
    return true;
}

bool WriteRecipeFile(const QString& path, const Recipe& recipe, QString* error) {
    const AidImage image = EncodeAid(recipe);
    FileError err;
    if (!AtomicSave(
            path,
            QByteArray(reinterpret_cast<const char*>(image.data()), static_cast<qsizetype>(image.size())),
            &err)) {
        if (error != nullptr) {
            *error = err.message;
        }
        return false;
    }
    return true;
}

QString RecipeFileSizeText(const QString& path, qint64 size) {
    const QString shown = DisplayFileName(QDir::toNativeSeparators(path));
    const QString full = QString::number(kAidFileSize);
    if (size == 1) {
        return QCoreApplication::translate("RecipeFile", "%1 is 1 byte; a recipe file is %2 bytes.")
            .arg(shown, full);
    }
    return QCoreApplication::translate("RecipeFile", "%1 is %2 bytes; a recipe file is %3 bytes.")
        .arg(shown, QString::number(size), full);
}
