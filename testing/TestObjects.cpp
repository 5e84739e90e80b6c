#include "TestObjects.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace zyn::test {

std::u16string DescribeVariant(const VARIANT& v) {
    auto num = [](double d) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "%.17g", d);
        return zyn::com::Utf8ToUtf16(buf);
    };
    switch (v.vt) {
    case VT_EMPTY:
        return u"EMPTY";
    case VT_NULL:
        return u"NULL";
    case VT_I4:
        return u"I4:" + num(v.lVal);
    case VT_R8:
        return u"R8:" + num(v.dblVal);
    case VT_BOOL:
        return u"BOOL:" + num(v.boolVal);
    case VT_BSTR:
        return u"BSTR:" + std::u16string(zyn::com::BstrView(v.bstrVal));
    case VT_DATE:
        return u"DATE:" + num(v.date);
    case VT_DISPATCH:
        return v.pdispVal ? u"DISPATCH" : u"DISPATCH:null";
    case VT_ARRAY | VT_UI1: {
        std::u16string out = u"BYTES:";
        LONG lo = 0, hi = -1;
        SafeArrayGetLBound(v.parray, 1, &lo);
        SafeArrayGetUBound(v.parray, 1, &hi);
        for (LONG i = lo; i <= hi; ++i) {
            BYTE b = 0;
            SafeArrayGetElement(v.parray, &i, &b);
            out += (i > lo ? u"," : u"") + num(b);
        }
        return out;
    }
    case VT_ARRAY | VT_VARIANT: {
        std::u16string out = u"ARRAY[";
        LONG lo = 0, hi = -1;
        SafeArrayGetLBound(v.parray, 1, &lo);
        SafeArrayGetUBound(v.parray, 1, &hi);
        for (LONG i = lo; i <= hi; ++i) {
            CComVariant item;
            SafeArrayGetElement(v.parray, &i, &item);
            out += (i > lo ? u"|" : u"") + DescribeVariant(item);
        }
        return out + u"]";
    }
    default:
        return u"VT:" + num(v.vt);
    }
}

HRESULT CTestUtils::StringToDouble(BSTR s, double* out) {
    *out = std::atof(zyn::com::Utf16ToUtf8(zyn::com::BstrView(s)).c_str());
    return S_OK;
}

HRESULT CTestDataSet::TimeToIndex(double t, LONG* out) {
    *out = static_cast<LONG>(std::llround((t - start) * 86400000.0));
    return S_OK;
}

} // namespace zyn::test
