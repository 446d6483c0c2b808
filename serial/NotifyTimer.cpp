#include "NotifyTimer.h"

#include "LockGuard.h"

NotifyTimer::~NotifyTimer() {
    stop();
}

void NotifyTimer::arm(ReceiveListener* listener, unsigned delayMs, const std::string& portName,
                      unsigned byteCount) {
    std::lock_guard<std::mutex> control(m_control);
    {
        LockGuard guard(m_lock);
        m_listener = listener;
        m_delay = delayMs;
        m_portName = portName;
        m_byteCount = byteCount;
        if (m_running) {
            // The waiting thread starts its full delay again and then uses the values just stored.
            m_wake.notifyOne();
            return;
        }
        m_running = true;
        m_stopRequested = false;
    }
    // The previous thread has fired (m_running was clear) and is at most finishing its call.
    if (m_thread.joinable()) {
        m_thread.join();
    }
    m_thread = std::thread(&NotifyTimer::run, this);
}

void NotifyTimer::stop() {
    std::lock_guard<std::mutex> control(m_control);
    {
        LockGuard guard(m_lock);
        m_stopRequested = true;
        m_wake.notifyOne();
    }
    if (m_thread.joinable()) {
        m_thread.join();
    }
    LockGuard guard(m_lock);
    m_running = false;
    m_stopRequested = false;
}

bool NotifyTimer::isRunning() {
    LockGuard guard(m_lock);
    return m_running;
}

void NotifyTimer::run() {
    ReceiveListener* listener = nullptr;
    std::string portName;
    unsigned byteCount = 0;
    {
        LockGuard guard(m_lock);
        // Wait until m_delay passes with no wake; a stop request ends the wait without a call.
        while (!m_stopRequested && !m_wake.waitFor(m_lock, m_delay)) {
        }
        if (m_stopRequested) {
            m_running = false;
            return;
        }
        listener = m_listener;
        portName = m_portName;
        byteCount = m_byteCount;
        m_running = false;
    }
    if (listener != nullptr) {
        listener->onDataReceived(portName.c_str(), byteCount);
    }
}
