#include "SessionJournal.h"

JournalRecord EndedDownloadRecord(JournalRecord started, const DownloadResult& result,
                                  std::chrono::milliseconds duration) {
    constexpr int kFrameCount = kavo::download::kFrameCount;
    JournalRecord record = std::move(started);
    record.frames = result.framesSent;
    record.durationMs = duration.count();
    const bool allSent = result.framesSent == kFrameCount && result.failedFrame == 0;
    if (result.ok || (result.stopped && allSent)) {
        record.result = QString::fromLatin1(kJournalComplete);
    } else if (result.stopped) {
        record.result = QString::fromLatin1(kJournalStopped);
    } else {
        record.result = QString::fromLatin1(kJournalFailed);
        // The frame whose write failed; where every frame was written and the line then failed (they did
        // not drain, a later step failed), none did: 0. A step that failed between frames stopped the
        // download before the next one.
        record.failedFrame = result.failedFrame > 0             ? result.failedFrame
                             : result.framesSent >= kFrameCount ? 0
                                                                : result.framesSent + 1;
        record.error = QString::fromStdString(result.errorText);
    }
    return record;
}

std::optional<JournalRecord> EndedLiveRecord(JournalRecord started, int frames, bool failed,
                                             const QString& error, std::chrono::milliseconds duration) {
    if (frames == 0 && !failed) {
        return std::nullopt;
    }
    JournalRecord record = std::move(started);
    record.frames = frames;
    record.durationMs = duration.count();
    if (failed) {
        record.result = QString::fromLatin1(kJournalFailed);
        record.failedFrame = frames + 1;
        record.error = error;
    } else {
        record.result = QString::fromLatin1(kJournalComplete);
    }
    return record;
}
