#include "ZynLockList.h"

void CZynLockList::Add(CZynCritSec& lock, zyn::com::ComRefCount* keepAlive) {
    if (m_tryMode) {
        if (m_failed || !lock.TryLock()) {
            m_failed = true;
            return;
        }
    } else {
        lock.Lock();
    }
    if (keepAlive) keepAlive->InternalAddRef();
    if (m_size < m_inline.size())
        m_inline[m_size] = {&lock, keepAlive};
    else
        m_more.push_back({&lock, keepAlive});
    ++m_size;
}

void CZynLockList::UnlockTo(std::size_t count) {
    while (m_size > count) {
        Entry entry = At(m_size - 1);
        if (m_size > m_inline.size()) m_more.pop_back();
        --m_size;
        entry.lock->Unlock();
        if (entry.keepAlive) entry.keepAlive->InternalRelease();
    }
}
