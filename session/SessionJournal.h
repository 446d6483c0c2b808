#pragma once

#include "DownloadJournal.h"
#include "DownloadWorker.h"

#include <chrono>
#include <optional>

// The journal's account of a download and of a live session once they have ended. One rule each, for the
// window and for kavo-cli alike.

// The record of a download started as started that ended with result after duration. Complete when every
// frame was written and nothing failed (a stop during the closing pause and beep cuts nothing from the
// recipe); stopped when result.stopped; otherwise failed at the frame whose write failed (or at the frame
// after the last one written, when a step between frames failed), with the port's reason. All 192 frames
// written and then a failure (they did not leave the port) is failed with no failed frame (0).
JournalRecord EndedDownloadRecord(JournalRecord started, const DownloadResult& result,
                                  std::chrono::milliseconds duration);

// The record of a live session started as started that wrote frames frames in duration. failed: the write of
// the next frame failed, for the port's reason error. A session that wrote no frame and had no write fail
// tells nothing about the controller and is not journalled: std::nullopt.
std::optional<JournalRecord> EndedLiveRecord(JournalRecord started, int frames, bool failed,
                                             const QString& error, std::chrono::milliseconds duration);
