#include "ZynFilter.h"

#include "ZynChannel.h"
#include "ZynText.h"

#include "utils/ZynIdentifier.h"

CComPtr<CZynFilter> CZynFilter::Create(CZynChannel* owner, LONG number) {
    CComPtr<CZynFilter> filter(new CZynFilter);
    filter->m_owner = owner;
    filter->m_name = zyn::obj::NumberedName(filter->m_name, number);
    char16_t id[256] = {};
    if (CreateIdentifier(id, 256)) filter->m_identifier = id;
    return filter;
}

std::u16string CZynFilter::int_Name() const {
    std::lock_guard guard(m_nameGuard);
    return m_name;
}

void CZynFilter::int_ClearOwner() {
    std::lock_guard guard(m_ownerGuard);
    m_owner = nullptr;
}

HRESULT CZynFilter::Detach() {
    CComPtr<CZynFilter> self(this); // the owner's list may hold the last other reference
    std::lock_guard guard(m_ownerGuard);
    CZynChannel* owner = m_owner;
    if (!owner) return S_OK;
    owner->int_RemoveFilter(m_identifier);
    m_owner = nullptr;
    owner->int_Raise(CZynChannel::kChangedFilterDetached);
    return S_OK;
}

HRESULT CZynFilter::get_Name(BSTR* pName) {
    if (!pName) return E_POINTER;
    *pName = zyn::com::AllocBstr(int_Name());
    return S_OK;
}

HRESULT CZynFilter::put_Name(BSTR newVal) {
    std::lock_guard guard(m_nameGuard);
    m_name = zyn::com::BstrView(newVal);
    return S_OK;
}

// Filters have no effect on values; the state is kept so that a script reads back what it set.
HRESULT CZynFilter::get_Enable(LONG* pVal) {
    if (!pVal) return E_POINTER;
    std::lock_guard guard(m_nameGuard);
    *pVal = m_enabled ? 1 : 0;
    return S_OK;
}

HRESULT CZynFilter::put_Enable(LONG newVal) {
    std::lock_guard guard(m_nameGuard);
    m_enabled = newVal != 0;
    return S_OK;
}

HRESULT CZynFilter::get_Identifier(BSTR* pIdentifier) {
    if (!pIdentifier) return E_POINTER;
    *pIdentifier = zyn::com::AllocBstr(m_identifier);
    return S_OK;
}
