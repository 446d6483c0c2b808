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
    // failed: frames + 1, the frame whose write failed, counted from 1 within the download or session;
    // 0 where all 192 frames of a download were written and the line then failed (they did not drain)
    int failedFrame = 0;
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

// The journal keeps one older file: an append that would take it past kJournalRotateBytes first renames it
// to PreviousJournalPath (replacing the one there), and the record begins a new file.
inline constexpr qint64 kJournalRotateBytes = 10 * 1024 * 1024;
// path + ".1"
QString PreviousJournalPath(const QString& path);

// Appends one record in one write (O_APPEND: lines of two programs never mix), creating the folder and
// rotating the journal as above. Only a regular file is written, and opening it never waits (a FIFO in
// its place is refused at once). False with the reason in *error.
bool AppendJournal(const QString& path, const JournalRecord& record, QString* error);

// The records of the journal at path and of its older file, ordered by start time (a live session is
// written at its end, after records that started later); equal times keep file order. Lines that are not
// records (a line longer than any record is not read in) are counted in *badLines. False with the reason
// in *error when a file exists but can't be read (or is not a regular file); missing files are an empty
// journal.
bool ReadJournal(const QString& path, QList<JournalRecord>* records, int* badLines, QString* error);
// The last `count` of those records, read from the end of the files backwards in blocks: the memory
// taken grows with count, not with the journal. *badLines counts the lines read on the way.
bool ReadJournalTail(const QString& path, qsizetype count, QList<JournalRecord>* records, int* badLines,
                     QString* error);

// "complete", "stopped", or with frames written counted: "failed after 56 frames: the adapter was
// unplugged or the line hung up" ("failed before the first frame: ..." for none).
QString DescribeJournalResult(const JournalRecord& record);
