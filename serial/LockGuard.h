#pragma once

#include "IMutex.h"

// Holds an IMutex for one scope, so that every way out (exceptions included) releases it.
class LockGuard {
  public:
    explicit LockGuard(IMutex* mutex) : m_mutex(mutex) { m_mutex->lock(); }
    explicit LockGuard(IMutex& mutex) : LockGuard(&mutex) {}
    ~LockGuard() { m_mutex->unlock(); }

    LockGuard(const LockGuard&) = delete;
    LockGuard& operator=(const LockGuard&) = delete;

  private:
    IMutex* m_mutex;
};
