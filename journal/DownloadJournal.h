#pragma once

#include "Recipe.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

// One line of the journal: a download, or a live session from Live on to Live off (or the port's close,
// or the program's end).
struct JournalRecord {
    QString time;   // start, UTC, ISO 8601 with milliseconds: "2026-12-10T21:45:12.345Z"
    QString user;   // the login name
    QString port;   // "COM3"
    QString device; // "/dev/ttyUSB0"; empty when the name led nowhere
    QString byId;   // "/dev/serial/by-id/usb-..."; empty when the device has none
    QString recipe; // the recipe's file path, "Untitled" for one never saved
    QString sha256; // of the recipe's 360-byte file image, lowercase hexadecimal
    QString kind;   // "download" or "live"
    int frames = 0; // frames written
    QString result; // "complete", "failed" or "stopped"
    int failedFrame =
        0;         // failed: the frame whose write failed, counted from 1 within the download or session
    QString error; // failed: why, in the port's words
    qint64 durationMs = 0;

    friend bool operator==(const JournalRecord&, const JournalRecord&) = default;
};

inline constexpr const char* kJournalDownload = "download";
inline constexpr const char* kJournalLive = "live";
inline constexpr const char* kJournalComplete = "complete";
inline constexpr const char* kJournalFailed = "failed";
inline constexpr const char* kJournalStopped = "stopped";

// $XDG_STATE_HOME/kavo/journal.jsonl, with ~/.local/state when XDG_STATE_HOME is unset or not absolute.
QString DefaultJournalPath();

// The SHA-256 of the recipe as its .aid file holds it, lowercase hexadecimal.
QString RecipeImageSha256(const Recipe& recipe);

// A record started now: time, user, port, its device and by-id name, the recipe's path and hash, the kind.
// devicePath: where portName led when the line was opened ("" when unknown); recipePath: "" for Untitled.
JournalRecord NewJournalRecord(const char* kind, const QString& portName, const QString& devicePath,
                               const QString& recipePath, const Recipe& recipe);

// The record as one line of JSON, ending in a newline; and back (std::nullopt for a line that is not one).
QByteArray JournalLine(const JournalRecord& record);
std::optional<JournalRecord> ParseJournalLine(const QByteArray& line);

// Appends one record in one write (O_APPEND: lines of two programs never mix), creating the folder.
// False with the reason in *error.
bool AppendJournal(const QString& path, const JournalRecord& record, QString* error);

// The records of the journal at path in file order; lines that are not records are counted in *badLines.
// False with the reason in *error when the file exists but can't be read; a missing file is an empty
// journal.
bool ReadJournal(const QString& path, QList<JournalRecord>* records, int* badLines, QString* error);

// "failed at frame 57: the adapter was unplugged or the line hung up", "complete", "stopped".
QString DescribeJournalResult(const JournalRecord& record);
