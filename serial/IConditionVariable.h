#pragma once

#include "IMutex.h"

#include <condition_variable>
#include <functional>
#include <mutex>

// An auto-reset event. A notification sets it; the next wait that sees it set consumes it and returns.
// A notification given while nobody waits stays pending, so the next wait returns at once; further
// notifications before that wait are not counted (one pending at most). Each notification releases at
// most one waiter.
//
// Every wait takes the caller's lock, which the caller holds exactly once on entry: the wait gives it up
// while it sleeps and holds it again on return.
class IConditionVariable {
  public:
    IConditionVariable() = default;
    IConditionVariable(const IConditionVariable&) = delete;
    IConditionVariable& operator=(const IConditionVariable&) = delete;
    ~IConditionVariable() = default;

    // Returns at once when ready() is true; otherwise waits for a notification and asks ready() again,
    // under the caller's lock, after every wake, until it is true.
    virtual void wait(IMutex& lock, const std::function<bool()>& ready);
    // Waits, without time limit, for one notification.
    virtual void wait(IMutex& lock);
    // ready is the caller's value at the call: true returns false at once. Otherwise waits until
    // milliseconds pass with no notification (each notification starts the full wait again); returns true.
    virtual bool waitFor(IMutex& lock, unsigned milliseconds, bool ready);
    // Waits at most milliseconds for one notification. True when it ended by time-out.
    virtual bool waitFor(IMutex& lock, unsigned milliseconds);
    virtual bool notifyOne();
    virtual bool notifyAll();

  private:
    std::mutex m_mutex;
    std::condition_variable m_cond;
    bool m_signalled = false; // guarded by m_mutex
};
