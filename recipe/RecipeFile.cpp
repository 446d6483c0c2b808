#include "RecipeFile.h"

#include "AidFormat.h"
#include "FileAccess.h"
#include "FileName.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

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

QString LevelsOutOfRangeText(const QString& path, const Recipe& recipe) {
    QStringList lines;
    int positions = 0;
    int levels = 0;
    for (int c = 0; c < Recipe::kCameras; ++c) {
        for (int p = 0; p < Recipe::kPositions; ++p) {
            const auto& position = recipe.m_levels[static_cast<std::size_t>(c)][static_cast<std::size_t>(p)];
            QStringList channels;
            for (int k = 0; k < Recipe::kChannels; ++k) {
                // A level is a byte: 0 is the one value below the range.
                if (position[static_cast<std::size_t>(k)] == 0) {
                    channels << QString::number(k + 1);
                }
            }
            if (channels.isEmpty()) {
                continue;
            }
            levels += static_cast<int>(channels.size());
            if (++positions > kOutOfRangeLines) {
                continue;
            }
            const QString where = QStringLiteral("C%1 P%2").arg(c + 1).arg(p + 1);
            lines << (channels.size() == Recipe::kChannels
                          ? QCoreApplication::translate("RecipeFile", "%1 channels 1-8: 0").arg(where)
                      : channels.size() == 1 ? QCoreApplication::translate("RecipeFile", "%1 channel %2: 0")
                                                   .arg(where, channels[0])
                                             : QCoreApplication::translate("RecipeFile", "%1 channels %2: 0")
                                                   .arg(where, channels.join(QLatin1String(", "))));
        }
    }
    if (levels == 0) {
        return {};
    }
    if (positions > kOutOfRangeLines) {
        lines << QCoreApplication::translate("RecipeFile", "... and %1 more positions")
                     .arg(positions - kOutOfRangeLines);
    }
    const QString shown = DisplayFileName(QFileInfo(path).fileName());
    const QString head =
        levels == 1
            ? QCoreApplication::translate("RecipeFile", "%1 holds a level outside 1 to 255.").arg(shown)
            : QCoreApplication::translate("RecipeFile", "%1 holds %2 levels outside 1 to 255.")
                  .arg(shown, QString::number(levels));
    return head + QLatin1Char(' ') +
           QCoreApplication::translate("RecipeFile", "They are kept as they are and downloaded so; a slider "
                                                     "or a typed level sets 1 to 255.") +
           QLatin1Char('\n') + lines.join(QLatin1Char('\n'));
}
