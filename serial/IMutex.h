#pragma once

#include <mutex>

// Recursive lock: the thread that owns it may take it again (open holds the port lock while it calls
// the flow-control setter, which takes it once more). Each lock() needs its unlock().
class IMutex {
  public:
    using NativeHandle = std::recursive_mutex::native_handle_type;

    IMutex() = default;
    IMutex(const IMutex&) = delete;
    IMutex& operator=(const IMutex&) = delete;
    virtual ~IMutex() = default;

    virtual void lock() { m_mutex.lock(); }
    virtual void unlock() { m_mutex.unlock(); }
    // The platform lock behind it (a pthread mutex). A lock record cannot be copied safely, so this is a
    // handle to it, valid as long as this object lives.
    virtual NativeHandle nativeLock() { return m_mutex.native_handle(); }

  private:
    std::recursive_mutex m_mutex;
};
