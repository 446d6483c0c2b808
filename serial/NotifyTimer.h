#pragma once

#include "IConditionVariable.h"
#include "IMutex.h"
#include "ReceiveListener.h"

#include <mutex>
#include <stop_token>
#include <string>
#include <thread>

// Deferred data notification: calls the listener once the line has been quiet for the delay. Each arming
// while the timer runs starts the full delay again and replaces the values handed over, so a burst of
// arrivals gives one call with the latest byte count.
class NotifyTimer {
  public:
    NotifyTimer() = default;
    NotifyTimer(const NotifyTimer&) = delete;
    NotifyTimer& operator=(const NotifyTimer&) = delete;
    ~NotifyTimer();

    void arm(ReceiveListener* listener, unsigned delayMs, const std::string& portName, unsigned byteCount);
    // Cancels a pending call and waits for the timer thread to end. Never blocks for ever: the thread
    // wakes at once on a stop request. Must not be called from the listener itself.
    void stop();
    bool isRunning();

  private:
    void run(std::stop_token stop);

    std::mutex m_control;      // serializes arm and stop (the only places that start and join m_thread)
    bool m_running = false;    // guarded by m_lock: a timer thread is armed and has not fired yet
    IConditionVariable m_wake; // a new arming or a stop request
    IMutex m_lock;
    unsigned m_delay = 0; // milliseconds
    std::string m_portName;
    unsigned m_byteCount = 0;
    ReceiveListener* m_listener = nullptr;
    std::jthread m_thread; // last: joined before the rest goes
};
