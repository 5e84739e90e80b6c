#pragma once
// Recursive locks in the shape the object library's code expects: a lock object with
// Lock()/Unlock() and a scope guard that releases it on every path.

#include "com/hresult.h"

#include <mutex>

class CComCriticalSection {
public:
    CComCriticalSection() = default;
    CComCriticalSection(const CComCriticalSection&) = delete;
    CComCriticalSection& operator=(const CComCriticalSection&) = delete;

    // Kept for code written against the two-phase form; the lock is usable from construction.
    HRESULT Init() { return S_OK; }
    HRESULT Term() { return S_OK; }

    HRESULT Lock() {
        m_mutex.lock();
        return S_OK;
    }
    HRESULT Unlock() {
        m_mutex.unlock();
        return S_OK;
    }
    bool TryLock() { return m_mutex.try_lock(); }

private:
    std::recursive_mutex m_mutex;
};

class CComAutoCriticalSection : public CComCriticalSection {};

// Holds the lock from construction to destruction unless released early.
template <class TLock> class CComCritSecLock {
public:
    explicit CComCritSecLock(TLock& lock, bool initialLock = true) : m_lock(lock) {
        if (initialLock) Lock();
    }
    ~CComCritSecLock() {
        if (m_locked) m_lock.Unlock();
    }
    CComCritSecLock(const CComCritSecLock&) = delete;
    CComCritSecLock& operator=(const CComCritSecLock&) = delete;

    HRESULT Lock() {
        if (m_locked) return S_OK;
        HRESULT hr = m_lock.Lock();
        m_locked = SUCCEEDED(hr);
        return hr;
    }
    void Unlock() {
        if (!m_locked) return;
        m_lock.Unlock();
        m_locked = false;
    }

private:
    TLock& m_lock;
    bool m_locked = false;
};
