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
    }
    // The previous thread has fired (m_running was clear) and is at most finishing its call.
    if (m_thread.joinable()) {
        m_thread.join();
    }
    m_thread = std::jthread([this](std::stop_token stop) { run(stop); });
}

void NotifyTimer::stop() {
    std::lock_guard<std::mutex> control(m_control);
    if (m_thread.joinable()) {
        m_thread.request_stop(); // wakes the wait (the stop callback in run)
        m_thread.join();
    }
    LockGuard guard(m_lock);
    m_running = false;
}

bool NotifyTimer::isRunning() {
    LockGuard guard(m_lock);
    return m_running;
}

void NotifyTimer::run(std::stop_token stop) {
    // A stop request wakes the wait. The wake is given under m_lock, which the waiter holds from its look
    // at the token until it sleeps, so it can't slip in between and be lost.
    const std::stop_callback wakeOnStop(stop, [this] {
        LockGuard guard(m_lock);
        m_wake.notifyOne();
    });
    ReceiveListener* listener = nullptr;
    std::string portName;
    unsigned byteCount = 0;
    {
        LockGuard guard(m_lock);
        // Wait until m_delay passes with no wake; a stop request ends the wait without a call.
        while (!stop.stop_requested() && !m_wake.waitFor(m_lock, m_delay)) {
        }
        m_running = false;
        if (stop.stop_requested()) {
            return;
        }
        listener = m_listener;
        portName = m_portName;
        byteCount = m_byteCount;
    }
    if (listener != nullptr) {
        listener->onDataReceived(portName.c_str(), byteCount);
    }
}
