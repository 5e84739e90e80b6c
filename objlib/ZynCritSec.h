#pragma once
// A recursive lock per chart, channel, data set and time base. A thread that holds a lock (for
// example through LockObject) may call any method of the object again.

#include <mutex>

class CZynCritSec {
public:
    void Lock() { m_mutex.lock(); }
    void Unlock() { m_mutex.unlock(); }

private:
    std::recursive_mutex m_mutex;
};
