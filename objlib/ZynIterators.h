#pragma once
// The three iterators (channels, events, charts) over a snapshot of references taken when the
// iterator is made: later additions and removals do not change what it walks.

#include "ZynDispatchImpl.h"
#include "objlib/ZynInterfaces.h"

#include <vector>

template <class IIter, class IItem>
class CZynSnapshotIter final : public zyn::com::ComRefCount, public CZynDispatchImpl<IIter> {
public:
    ZYN_COM_IUNKNOWN(CZynSnapshotIter, IIter, IDispatch)

    explicit CZynSnapshotIter(std::vector<CComPtr<IItem>> items = {}) : m_items(std::move(items)) {}

    HRESULT Reset() override {
        m_position = 0;
        return S_OK;
    }
    HRESULT GetNext(IItem** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (m_position >= m_items.size()) return E_FAIL;
        return m_items[m_position++].CopyTo(out);
    }
    HRESULT get_Count(LONG* pCount) override {
        if (!pCount) return E_POINTER;
        *pCount = static_cast<LONG>(m_items.size());
        return S_OK;
    }
    HRESULT get_HasNext(LONG* pVal) override {
        if (!pVal) return E_POINTER;
        *pVal = m_position < m_items.size() ? 1 : 0;
        return S_OK;
    }

private:
    std::vector<CComPtr<IItem>> m_items;
    std::size_t m_position = 0;
};

using CZynChannelIter = CZynSnapshotIter<IZynChannelIter, IZynChannel>;
using CZynEventIter = CZynSnapshotIter<IZynEventIter, IZynEvent>;
using CZynChartIter = CZynSnapshotIter<IZynChartIter, IZynChart>;
