#pragma once
// The per-thread error object: a failing call records a description and the raising class, and
// the caller (a script host, the program) collects it right after the failed HRESULT.

#include "unknown.h"

struct IErrorInfo : IUnknown {
    static constexpr IID kIID = zyn::com::MakeGuid("1CF2B120-547D-101B-8E65-08002B2BD119");
    virtual HRESULT GetGUID(GUID* out) = 0;
    virtual HRESULT GetSource(BSTR* out) = 0;
    virtual HRESULT GetDescription(BSTR* out) = 0;
    virtual HRESULT GetHelpFile(BSTR* out) = 0;
    virtual HRESULT GetHelpContext(DWORD* out) = 0;

protected:
    ~IErrorInfo() = default;
};

struct ICreateErrorInfo : IUnknown {
    static constexpr IID kIID = zyn::com::MakeGuid("22F03340-547D-101B-8E65-08002B2BD119");
    virtual HRESULT SetGUID(REFGUID iid) = 0;
    virtual HRESULT SetSource(LPOLESTR source) = 0;
    virtual HRESULT SetDescription(LPOLESTR text) = 0;
    virtual HRESULT SetHelpFile(LPOLESTR file) = 0;
    virtual HRESULT SetHelpContext(DWORD context) = 0;

protected:
    ~ICreateErrorInfo() = default;
};

HRESULT CreateErrorInfo(ICreateErrorInfo** out);
// Replaces the calling thread's error object (null clears it). `reserved` must be 0.
HRESULT SetErrorInfo(ULONG reserved, IErrorInfo* info);
// Hands over the calling thread's error object and clears it; S_FALSE and null when there is none.
HRESULT GetErrorInfo(ULONG reserved, IErrorInfo** out);

namespace zyn::com {

// Records `description` with `source` (a ProgID or class name) and the interface `iid`, and returns
// `hr` so that a member can end with `return RaiseError(...)`.
HRESULT RaiseError(HRESULT hr, std::u16string_view description, std::u16string_view source = {},
                   const IID& iid = GUID_NULL);

} // namespace zyn::com
