#include "errorinfo.h"

#include "ccombstr.h"

namespace {

class CErrorObject final : public zyn::com::ComRefCount, public IErrorInfo, public ICreateErrorInfo {
public:
    ZYN_COM_IUNKNOWN(CErrorObject, IErrorInfo, ICreateErrorInfo)

    HRESULT GetGUID(GUID* out) override {
        if (!out) return E_POINTER;
        *out = m_iid;
        return S_OK;
    }
    HRESULT GetSource(BSTR* out) override { return m_source.CopyTo(out); }
    HRESULT GetDescription(BSTR* out) override { return m_description.CopyTo(out); }
    HRESULT GetHelpFile(BSTR* out) override { return m_helpFile.CopyTo(out); }
    HRESULT GetHelpContext(DWORD* out) override {
        if (!out) return E_POINTER;
        *out = m_helpContext;
        return S_OK;
    }

    HRESULT SetGUID(REFGUID iid) override {
        m_iid = iid;
        return S_OK;
    }
    HRESULT SetSource(LPOLESTR source) override {
        m_source = source;
        return S_OK;
    }
    HRESULT SetDescription(LPOLESTR text) override {
        m_description = text;
        return S_OK;
    }
    HRESULT SetHelpFile(LPOLESTR file) override {
        m_helpFile = file;
        return S_OK;
    }
    HRESULT SetHelpContext(DWORD context) override {
        m_helpContext = context;
        return S_OK;
    }

private:
    GUID m_iid{};
    CComBSTR m_source, m_description, m_helpFile;
    DWORD m_helpContext = 0;
};

// Owned by the thread: released when it ends.
thread_local CComPtr<IErrorInfo> t_errorInfo;

} // namespace

HRESULT CreateErrorInfo(ICreateErrorInfo** out) {
    if (!out) return E_POINTER;
    auto* obj = new CErrorObject;
    obj->AddRef();
    *out = obj;
    return S_OK;
}

HRESULT SetErrorInfo(ULONG reserved, IErrorInfo* info) {
    if (reserved != 0) return E_INVALIDARG;
    t_errorInfo = info;
    return S_OK;
}

HRESULT GetErrorInfo(ULONG reserved, IErrorInfo** out) {
    if (reserved != 0 || !out) return E_INVALIDARG;
    *out = t_errorInfo.Detach();
    return *out ? S_OK : S_FALSE;
}

namespace zyn::com {

HRESULT RaiseError(HRESULT hr, std::u16string_view description, std::u16string_view source, const IID& iid) {
    CComPtr<ICreateErrorInfo> create;
    if (FAILED(CreateErrorInfo(&create))) return hr;
    CComBSTR desc(description), src(source);
    create->SetDescription(desc);
    create->SetSource(src);
    create->SetGUID(iid);
    CComPtr<IErrorInfo> info;
    if (SUCCEEDED(create.QueryInterface(&info))) SetErrorInfo(0, info);
    return hr;
}

} // namespace zyn::com
