#include "ZynUtilsObj.h"

#include "utils/ZynNumber.h"
#include "utils/ZynTime.h"
#include "utils/ZynVersion.h"

HRESULT CZynUtilsObj::Log(BSTR) {
    return S_OK;
}

HRESULT CZynUtilsObj::CurrentTime(VARIANT* o_TimeVal) {
    if (!o_TimeVal) return E_POINTER;
    VariantInit(o_TimeVal);
    o_TimeVal->vt = VT_DATE;
    o_TimeVal->date = GetTimeAsDouble(nullptr);
    return S_OK;
}

HRESULT CZynUtilsObj::NoCacheObject(LONG, LONG* pRet) {
    if (!pRet) return E_POINTER;
    *pRet = 0;
    return S_OK;
}

HRESULT CZynUtilsObj::StringToDouble(BSTR i_String, double* pRet) {
    if (!pRet) return E_POINTER;
    *pRet = ::StringToDouble(i_String);
    return S_OK;
}

HRESULT CZynUtilsObj::FormatNumber(double dblVal, VARIANT vtFormat, BSTR* pStrRet) {
    if (!pStrRet) return E_POINTER;
    // A format counts only when it converts to a text of more than two characters starting with '%';
    // anything else (the default 1 included) means the automatic format.
    CComVariant format;
    const char16_t* fmt = nullptr;
    if (vtFormat.vt != VT_EMPTY && vtFormat.vt != VT_NULL &&
        SUCCEEDED(VariantChangeType(&format, &vtFormat, 0, VT_BSTR))) {
        std::u16string_view text = zyn::com::BstrView(format.bstrVal);
        if (text.size() > 2 && text.front() == u'%') fmt = format.bstrVal;
    }
    char16_t buffer[256] = {};
    bool ok = CommaNumber(dblVal, buffer, 256, fmt);
    *pStrRet = SysAllocString(ok ? buffer : u"");
    return *pStrRet ? S_OK : E_OUTOFMEMORY;
}

HRESULT CZynUtilsObj::ZynRGB(unsigned char r, unsigned char g, unsigned char b, OLE_COLOR* pColorVal) {
    if (!pColorVal) return E_POINTER;
    *pColorVal = static_cast<OLE_COLOR>(r) + 256u * g + 65536u * b;
    return S_OK;
}

HRESULT CZynUtilsObj::get_MajorVersion(LONG* pMajorVal) {
    if (!pMajorVal) return E_POINTER;
    *pMajorVal = zyn::version::kMajor;
    return S_OK;
}

HRESULT CZynUtilsObj::get_MinorVersion(LONG* pMinorVal) {
    if (!pMinorVal) return E_POINTER;
    *pMinorVal = zyn::version::kMinor;
    return S_OK;
}

HRESULT CZynUtilsObj::get_Build(LONG* pBuildVal) {
    if (!pBuildVal) return E_POINTER;
    *pBuildVal = zyn::version::kObjectLibraryBuild;
    return S_OK;
}
