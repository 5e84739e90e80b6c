#pragma once
// Filter: a named, identified member of a channel's filter list. Filters do not change values.

#include "ZynDispatchImpl.h"

#include "com/unknown.h"

#include <mutex>
#include <string>

class CZynChannel;

class CZynFilter final : public zyn::com::ComRefCount, public CZynDispatchImpl<IZynFilter> {
public:
    // A filter of `owner`, named "Filter-<number>".
    static CComPtr<CZynFilter> Create(CZynChannel* owner, LONG number);

    ZYN_COM_IUNKNOWN(CZynFilter, IZynFilter, IDispatch)

    HRESULT Detach() override;
    HRESULT get_Name(BSTR* pName) override;
    HRESULT put_Name(BSTR newVal) override;
    HRESULT get_Enable(LONG* pVal) override;
    HRESULT put_Enable(LONG newVal) override;
    HRESULT get_Identifier(BSTR* pIdentifier) override;

    const std::u16string& int_Identifier() const { return m_identifier; }
    std::u16string int_Name() const;
    // The owner lets the filter go: it forgets its owner.
    void int_ClearOwner();

private:
    CZynFilter() = default;

    // Held across a whole Detach so that the owner cannot forget the filter half-way; taken before
    // any channel lock.
    std::mutex m_ownerGuard;
    CZynChannel* m_owner = nullptr;
    // A leaf lock: nothing is taken while holding it.
    mutable std::mutex m_nameGuard;
    std::u16string m_name{u"Filter"};
    std::u16string m_identifier;
    bool m_enabled = true;
};
