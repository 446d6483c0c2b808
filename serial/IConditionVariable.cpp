#include "IConditionVariable.h"

#include <chrono>

void IConditionVariable::wait(IMutex& lock, const std::function<bool()>& ready) {
    while (!ready()) {
        wait(lock);
    }
}

void IConditionVariable::wait(IMutex& lock) {
    // A notification that comes between unlock and the wait below is kept in m_signalled, not lost.
    lock.unlock();
    {
        std::unique_lock<std::mutex> guard(m_mutex);
        m_cond.wait(guard, [this] { return m_signalled; });
        m_signalled = false;
    }
    lock.lock();
}

bool IConditionVariable::waitFor(IMutex& lock, unsigned milliseconds, bool ready) {
    if (ready) {
        return false;
    }
    while (!waitFor(lock, milliseconds)) {
    }
    return true;
}

bool IConditionVariable::waitFor(IMutex& lock, unsigned milliseconds) {
    lock.unlock();
    bool timedOut;
    {
        std::unique_lock<std::mutex> guard(m_mutex);
        timedOut =
            !m_cond.wait_for(guard, std::chrono::milliseconds(milliseconds), [this] { return m_signalled; });
        m_signalled = false;
    }
    lock.lock();
    return timedOut;
}

bool IConditionVariable::notifyOne() {
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_signalled = true;
    }
    m_cond.notify_one();
    return true;
}

// The event releases one waiter per notification, whatever the name says.
bool IConditionVariable::notifyAll() {
    return notifyOne();
}
