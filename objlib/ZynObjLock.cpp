#include "ZynObjLock.h"

#include "ZynErrors.h"

HRESULT CZynObjLock::Unlock() {
    if (m_locks.Size() == 0) return S_OK;
    // Releasing another thread's recursive lock would corrupt it.
    if (std::this_thread::get_id() != m_thread)
        return zyn::obj::RaiseError(CLSID_ObjLock, E_FAIL,
                                    u"The object can only be unlocked by the thread that locked it");
    m_locks.UnlockAll();
    return S_OK;
}
