#pragma once

#include "DownloadJournal.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <stop_token>
#include <thread>

// Appends journal records on a thread of its own, so that neither a download nor the window waits for the
// disk. A journal that can't be written is told once, through onFailure (called on the writer's thread:
// post it on). The destructor writes what is still queued, then joins.
class JournalWriter {
  public:
    JournalWriter(QString path, std::function<void(const QString& error)> onFailure);
    ~JournalWriter();
    JournalWriter(const JournalWriter&) = delete;
    JournalWriter& operator=(const JournalWriter&) = delete;

    // Queues a record; any thread.
    void Append(JournalRecord record);
    const QString& Path() const { return m_path; }

  private:
    void Run(std::stop_token stop);

    const QString m_path;
    std::function<void(const QString&)> m_onFailure;
    bool m_failureTold = false; // the writer's thread only
    std::mutex m_mutex;
    std::condition_variable_any m_wake;
    std::deque<JournalRecord> m_queue;
    std::jthread m_thread; // last: started once the rest is built
};
