#include "JournalWriter.h"

JournalWriter::JournalWriter(QString path, std::function<void(const QString& error)> onFailure)
    : m_path(std::move(path)), m_onFailure(std::move(onFailure)),
      m_thread([this](std::stop_token stop) { Run(stop); }) {}

JournalWriter::~JournalWriter() {
    m_thread.request_stop();
    m_thread.join();
}

void JournalWriter::Append(JournalRecord record) {
    {
        std::lock_guard lock(m_mutex);
        m_queue.push_back(std::move(record));
    }
    m_wake.notify_all();
}

void JournalWriter::Run(std::stop_token stop) {
    std::unique_lock lock(m_mutex);
    for (;;) {
        // Asleep until a record comes; on the way out, what is queued is still written.
        m_wake.wait(lock, stop, [this] { return !m_queue.empty(); });
        if (m_queue.empty()) {
            return;
        }
        JournalRecord record = std::move(m_queue.front());
        m_queue.pop_front();
        lock.unlock();
        QString error;
        if (!AppendJournal(m_path, record, &error) && !m_failureTold) {
            m_failureTold = true;
            if (m_onFailure) {
                m_onFailure(error);
            }
        }
        lock.lock();
    }
}
