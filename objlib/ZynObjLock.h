#pragma once
// ObjLock: hands a client the lock list of a chart, channel or data set; the locks are held until
// Unlock or the final release. Locks belong to the thread that took them.

#include "ZynDispatchImpl.h"
#include "ZynLockList.h"
#include "objlib/ZynInterfaces.h"

#include <thread>

class CZynObjLock final : public zyn::com::ComRefCount, public CZynDispatchImpl<IZynObjLock> {
public:
    ZYN_COM_IUNKNOWN(CZynObjLock, IZynObjLock, IDispatch)

    // The caller fills Locks() on the calling thread before handing the object out.
    CZynLockList& Locks() { return m_locks; }

    HRESULT Unlock() override;

private:
    CZynLockList m_locks;
    std::thread::id m_thread = std::this_thread::get_id();
};

// A new lock object holding what `takeLocks(CZynLockList&)` collects on the calling thread, handed
// out as the result of a LockObject member.
template <class TakeLocks> HRESULT HandOutObjLock(IZynObjLock** out, TakeLocks&& takeLocks) {
    if (!out) return E_POINTER;
    CComPtr<CZynObjLock> lock = zyn::com::MakeObject<CZynObjLock>();
    takeLocks(lock->Locks());
    *out = lock.Detach();
    return S_OK;
}
