#include "DownloadJournal.h"

#include "AidFormat.h"
#include "ByIdLink.h"
#include "FileName.h"

#include <QCryptographicHash>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>

#include <pwd.h>
#include <unistd.h>

namespace {

QString LoginName() {
    if (const passwd* pw = ::getpwuid(::getuid()); pw != nullptr && pw->pw_name != nullptr) {
        return QString::fromLocal8Bit(pw->pw_name);
    }
    return qEnvironmentVariable("USER");
}

} // namespace

QString DefaultJournalPath() {
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty() || !QDir::isAbsolutePath(state)) {
        state = QDir::homePath() + QStringLiteral("/.local/state");
    }
    return state + QStringLiteral("/kavo/journal.jsonl");
}

QString RecipeImageSha256(const Recipe& recipe) {
    // The file image, so the hash is that of the saved file.
    const AidImage image = EncodeAid(recipe);
    const QByteArrayView bytes(image.data(), static_cast<qsizetype>(image.size()));
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

JournalRecord NewJournalRecord(const char* kind, const QString& portName, const QString& devicePath,
                               const QString& recipePath, const Recipe& recipe) {
    JournalRecord r;
    r.time = QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs);
    r.user = LoginName();
    r.port = portName;
    r.device = devicePath;
    if (!devicePath.isEmpty()) {
        r.byId =
            DecodeFileName(QByteArray::fromStdString(ByIdLinkFor(EncodeFileName(devicePath).toStdString())));
    }
    r.recipe = recipePath.isEmpty() ? QStringLiteral("Untitled") : recipePath;
    r.sha256 = RecipeImageSha256(recipe);
    r.kind = QString::fromLatin1(kind);
    return r;
}

QByteArray JournalLine(const JournalRecord& r) {
    QJsonObject o;
    o.insert(QStringLiteral("time"), r.time);
    o.insert(QStringLiteral("user"), r.user);
    o.insert(QStringLiteral("port"), r.port);
    o.insert(QStringLiteral("device"), r.device);
    o.insert(QStringLiteral("by_id"), r.byId);
    o.insert(QStringLiteral("recipe"), r.recipe);
    o.insert(QStringLiteral("sha256"), r.sha256);
    o.insert(QStringLiteral("kind"), r.kind);
    o.insert(QStringLiteral("frames"), r.frames);
    o.insert(QStringLiteral("result"), r.result);
    if (r.result == QLatin1String(kJournalFailed)) {
        o.insert(QStringLiteral("failed_frame"), r.failedFrame);
        o.insert(QStringLiteral("error"), r.error);
    }
    o.insert(QStringLiteral("duration_ms"), r.durationMs);
    return QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n';
}

std::optional<JournalRecord> ParseJournalLine(const QByteArray& line) {
    QJsonParseError error{};
    const QJsonDocument d = QJsonDocument::fromJson(line, &error);
    if (error.error != QJsonParseError::NoError || !d.isObject()) {
        return std::nullopt;
    }
    const QJsonObject o = d.object();
    if (!o.value(QStringLiteral("time")).isString() || !o.value(QStringLiteral("kind")).isString() ||
        !o.value(QStringLiteral("result")).isString()) {
        return std::nullopt;
    }
    JournalRecord r;
    r.time = o.value(QStringLiteral("time")).toString();
    r.user = o.value(QStringLiteral("user")).toString();
    r.port = o.value(QStringLiteral("port")).toString();
    r.device = o.value(QStringLiteral("device")).toString();
    r.byId = o.value(QStringLiteral("by_id")).toString();
    r.recipe = o.value(QStringLiteral("recipe")).toString();
    r.sha256 = o.value(QStringLiteral("sha256")).toString();
    r.kind = o.value(QStringLiteral("kind")).toString();
    r.frames = o.value(QStringLiteral("frames")).toInt();
    r.result = o.value(QStringLiteral("result")).toString();
    r.failedFrame = o.value(QStringLiteral("failed_frame")).toInt();
    r.error = o.value(QStringLiteral("error")).toString();
    r.durationMs = o.value(QStringLiteral("duration_ms")).toInteger();
    return r;
}

QString DescribeJournalResult(const JournalRecord& r) {
    if (r.result != QLatin1String(kJournalFailed)) {
        return r.result;
    }
    // Counted as the FRAMES column counts: frames written. (The record's failed_frame is the one after.)
    const QString when = r.frames <= 0   ? QStringLiteral("failed before the first frame")
                         : r.frames == 1 ? QStringLiteral("failed after 1 frame")
                                         : QStringLiteral("failed after %1 frames").arg(r.frames);
    return when + QStringLiteral(": ") + r.error;
}
