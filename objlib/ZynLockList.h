#pragma once
// An ordered set of held locks, released in reverse order. Each entry keeps its object alive so that
// a lock list handed to a client (IZynObjLock) never outlives the lock it holds.

#include "ZynCritSec.h"

#include "com/unknown.h"

#include <array>
#include <cstddef>
#include <vector>

class CZynLockList {
public:
    CZynLockList() = default;
    ~CZynLockList() { UnlockAll(); }
    CZynLockList(const CZynLockList&) = delete;
    CZynLockList& operator=(const CZynLockList&) = delete;

    // Takes `lock`; `keepAlive` (may be null, e.g. during destruction) is referenced until release.
    // In try mode a lock that is busy is not waited for: the list notes the failure instead.
    void Add(CZynCritSec& lock, zyn::com::ComRefCount* keepAlive);
    // A thread that must be able to give up (the sampling thread, which a stopping client may be
    // waiting for while it holds some of these locks) collects its locks in try mode.
    void SetTryMode(bool on) { m_tryMode = on; }
    bool Failed() const { return m_failed; }
    void ClearFailed() { m_failed = false; }
    // Releases, newest first, every entry taken after the list had `count` entries.
    void UnlockTo(std::size_t count);
    void UnlockAll() { UnlockTo(0); }
    std::size_t Size() const { return m_size; }

private:
    struct Entry {
        CZynCritSec* lock = nullptr;
        zyn::com::ComRefCount* keepAlive = nullptr;
    };
    Entry& At(std::size_t i) { return i < m_inline.size() ? m_inline[i] : m_more[i - m_inline.size()]; }

    std::array<Entry, 6> m_inline{};
    std::vector<Entry> m_more;
    std::size_t m_size = 0;
    bool m_tryMode = false;
    bool m_failed = false;
};
