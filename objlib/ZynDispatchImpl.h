#pragma once
// The one IDispatch implementation shared by every dual interface of the library. Late binding is not
// wired up yet: there is no type information, so names are unknown and no member can be invoked;
// clients use the vtable. The type tables will later fill this in without touching the objects.

#include "com/dispatch.h"

template <class Interface>
class CZynDispatchImpl : public Interface {
public:
    HRESULT GetTypeInfoCount(UINT* count) override {
        if (!count) return E_POINTER;
        *count = 0;
        return S_OK;
    }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        return DISP_E_BADINDEX;
    }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT count, LCID, DISPID* ids) override {
        if (!ids) return E_POINTER;
        for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
        return DISP_E_UNKNOWNNAME;
    }
    HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return DISP_E_MEMBERNOTFOUND;
    }

protected:
    ~CZynDispatchImpl() = default;
};
