#include "variant.h"

#include "dispatch.h"
#include "oledate.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

namespace {

bool IsInterface(VARTYPE vt) {
    return vt == VT_UNKNOWN || vt == VT_DISPATCH;
}

// A source value reduced to one of four shapes, from which every target is made.
struct Scalar {
    enum Kind { Empty, Integer, Real, Text, Bool, Null, Invalid } kind = Invalid;
    long long i = 0;
    unsigned long long u = 0; // for VT_UI8 values above the signed range
    bool unsignedBig = false;
    double d = 0;
    std::u16string text;
};

Scalar ReadScalar(const VARIANT& v) {
    Scalar s;
    switch (v.vt) {
    case VT_EMPTY:
        s.kind = Scalar::Empty;
        break;
    case VT_NULL:
        s.kind = Scalar::Null;
        break;
    case VT_I1:
        s.kind = Scalar::Integer;
        s.i = v.cVal; // NOLINT(bugprone-signed-char-misuse): VT_I1 holds a signed byte
        break;
    case VT_UI1:
        s.kind = Scalar::Integer;
        s.i = v.bVal;
        break;
    case VT_I2:
        s.kind = Scalar::Integer;
        s.i = v.iVal;
        break;
    case VT_UI2:
        s.kind = Scalar::Integer;
        s.i = v.uiVal;
        break;
    case VT_I4:
        s.kind = Scalar::Integer;
        s.i = v.lVal;
        break;
    case VT_INT:
        s.kind = Scalar::Integer;
        s.i = v.intVal;
        break;
    case VT_UI4:
        s.kind = Scalar::Integer;
        s.i = v.ulVal;
        break;
    case VT_UINT:
        s.kind = Scalar::Integer;
        s.i = v.uintVal;
        break;
    case VT_ERROR:
        s.kind = Scalar::Integer;
        s.i = v.scode;
        break;
    case VT_I8:
        s.kind = Scalar::Integer;
        s.i = v.llVal;
        break;
    case VT_UI8:
        s.kind = Scalar::Integer;
        if (v.ullVal > static_cast<unsigned long long>(std::numeric_limits<long long>::max())) {
            s.kind = Scalar::Real;
            s.d = static_cast<double>(v.ullVal);
        } else {
            s.i = static_cast<long long>(v.ullVal);
        }
        break;
    case VT_R4:
        s.kind = Scalar::Real;
        s.d = v.fltVal;
        break;
    case VT_R8:
        s.kind = Scalar::Real;
        s.d = v.dblVal;
        break;
    case VT_DATE:
        s.kind = Scalar::Real;
        s.d = v.date;
        break;
    case VT_BOOL:
        s.kind = Scalar::Bool;
        s.i = v.boolVal ? -1 : 0;
        break;
    case VT_BSTR:
        s.kind = Scalar::Text;
        s.text = std::u16string(zyn::com::BstrView(v.bstrVal));
        break;
    default:
        break;
    }
    return s;
}

std::u16string Trim(std::u16string_view t) {
    std::size_t a = 0, b = t.size();
    while (a < b && (t[a] == u' ' || t[a] == u'\t'))
        ++a;
    while (b > a && (t[b - 1] == u' ' || t[b - 1] == u'\t'))
        --b;
    return std::u16string(t.substr(a, b - a));
}

bool EqualsNoCase(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char16_t x = a[i], y = b[i];
        if (x >= u'A' && x <= u'Z') x = char16_t(x + 32);
        if (y >= u'A' && y <= u'Z') y = char16_t(y + 32);
        if (x != y) return false;
    }
    return true;
}

// Text to number: plain decimal or floating text (the C locale's '.'), or "True"/"False".
HRESULT TextToReal(const std::u16string& text, double* out) {
    std::u16string t = Trim(text);
    if (EqualsNoCase(t, u"true")) {
        *out = -1;
        return S_OK;
    }
    if (EqualsNoCase(t, u"false")) {
        *out = 0;
        return S_OK;
    }
    if (t.empty()) return DISP_E_TYPEMISMATCH;
    std::string narrow = zyn::com::Utf16ToUtf8(t);
    const char* begin = narrow.c_str();
    char* end = nullptr;
    errno = 0;
    double d = std::strtod(begin, &end);
    if (end == begin || *end) return DISP_E_TYPEMISMATCH;
    if (errno == ERANGE && std::isinf(d)) return DISP_E_OVERFLOW;
    if (!std::isfinite(d)) return DISP_E_TYPEMISMATCH;
    *out = d;
    return S_OK;
}

HRESULT ToReal(const Scalar& s, double* out) {
    switch (s.kind) {
    case Scalar::Empty:
        *out = 0;
        return S_OK;
    case Scalar::Integer:
    case Scalar::Bool:
        *out = static_cast<double>(s.i);
        return S_OK;
    case Scalar::Real:
        *out = s.d;
        return S_OK;
    case Scalar::Text:
        return TextToReal(s.text, out);
    default:
        return DISP_E_TYPEMISMATCH;
    }
}

// Integers round half to even, as the automation conversions do.
HRESULT ToInteger(const Scalar& s, long long lo, long long hi, long long* out) {
    long long v;
    if (s.kind == Scalar::Integer || s.kind == Scalar::Bool) {
        v = s.i;
    } else {
        double d;
        HRESULT hr = ToReal(s, &d);
        if (FAILED(hr)) return hr;
        if (std::isnan(d)) return DISP_E_TYPEMISMATCH;
        d = std::nearbyint(d);
        if (d < -9.2233720368547758e18 || d >= 9.2233720368547758e18) return DISP_E_OVERFLOW;
        v = static_cast<long long>(d);
    }
    if (v < lo || v > hi) return DISP_E_OVERFLOW;
    *out = v;
    return S_OK;
}

std::u16string RealToText(double d) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.15g", d);
    return std::u16string(buf, buf + std::strlen(buf));
}

HRESULT ToText(const Scalar& s, VARTYPE from, USHORT flags, std::u16string* out) {
    switch (s.kind) {
    case Scalar::Empty:
        out->clear();
        return S_OK;
    case Scalar::Integer: {
        std::string t = std::to_string(s.i);
        *out = std::u16string(t.begin(), t.end());
        return S_OK;
    }
    case Scalar::Real:
        *out = from == VT_DATE ? zyn::com::FormatVariantDate(s.d) : RealToText(s.d);
        return from == VT_DATE && out->empty() ? DISP_E_OVERFLOW : S_OK;
    case Scalar::Bool:
        if (flags & VARIANT_ALPHABOOL)
            *out = s.i ? u"True" : u"False";
        else
            *out = s.i ? u"-1" : u"0";
        return S_OK;
    case Scalar::Text:
        *out = s.text;
        return S_OK;
    default:
        return DISP_E_TYPEMISMATCH;
    }
}

HRESULT ConvertScalar(const VARIANT& src, USHORT flags, VARTYPE to, VARIANT* out) {
    Scalar s = ReadScalar(src);
    if (s.kind == Scalar::Invalid) return DISP_E_BADVARTYPE;
    if (s.kind == Scalar::Null) return DISP_E_TYPEMISMATCH;
    VARIANT r;
    VariantInit(&r);
    r.vt = to;
    long long n = 0;
    HRESULT hr = S_OK;
    switch (to) {
    case VT_I1:
        if (SUCCEEDED(hr = ToInteger(s, -128, 127, &n))) r.cVal = static_cast<CHAR>(n);
        break;
    case VT_UI1:
        if (SUCCEEDED(hr = ToInteger(s, 0, 255, &n))) r.bVal = static_cast<BYTE>(n);
        break;
    case VT_I2:
        if (SUCCEEDED(hr = ToInteger(s, -32768, 32767, &n))) r.iVal = static_cast<SHORT>(n);
        break;
    case VT_UI2:
        if (SUCCEEDED(hr = ToInteger(s, 0, 65535, &n))) r.uiVal = static_cast<USHORT>(n);
        break;
    case VT_I4:
    case VT_INT:
        if (SUCCEEDED(
                hr = ToInteger(s, std::numeric_limits<LONG>::min(), std::numeric_limits<LONG>::max(), &n)))
            r.lVal = static_cast<LONG>(n);
        break;
    case VT_UI4:
    case VT_UINT:
        if (SUCCEEDED(hr = ToInteger(s, 0, std::numeric_limits<ULONG>::max(), &n)))
            r.ulVal = static_cast<ULONG>(n);
        break;
    case VT_ERROR:
        if (SUCCEEDED(
                hr = ToInteger(s, std::numeric_limits<LONG>::min(), std::numeric_limits<ULONG>::max(), &n)))
            r.scode = static_cast<SCODE>(static_cast<std::uint32_t>(n));
        break;
    case VT_I8:
        if (SUCCEEDED(hr = ToInteger(s, std::numeric_limits<long long>::min(),
                                     std::numeric_limits<long long>::max(), &n)))
            r.llVal = n;
        break;
    case VT_UI8:
        if (SUCCEEDED(hr = ToInteger(s, 0, std::numeric_limits<long long>::max(), &n)))
            r.ullVal = static_cast<ULONGLONG>(n);
        break;
    case VT_R4: {
        double d;
        if (SUCCEEDED(hr = ToReal(s, &d))) {
            if (std::isfinite(d) && std::fabs(d) > std::numeric_limits<float>::max())
                hr = DISP_E_OVERFLOW;
            else
                r.fltVal = static_cast<float>(d);
        }
        break;
    }
    case VT_R8:
        hr = ToReal(s, &r.dblVal);
        break;
    case VT_DATE:
        if (s.kind == Scalar::Text) {
            auto parsed = zyn::com::ParseVariantDate(s.text);
            if (!parsed)
                hr = DISP_E_TYPEMISMATCH;
            else
                r.date = *parsed;
        } else if (SUCCEEDED(hr = ToReal(s, &r.date))) {
            if (!(r.date >= -657434.0 && r.date < 2958466.0)) hr = DISP_E_OVERFLOW;
        }
        break;
    case VT_BOOL: {
        double d;
        if (s.kind == Scalar::Integer || s.kind == Scalar::Bool)
            r.boolVal = s.i ? VARIANT_TRUE : VARIANT_FALSE;
        else if (SUCCEEDED(hr = ToReal(s, &d)))
            r.boolVal = d != 0 ? VARIANT_TRUE : VARIANT_FALSE;
        break;
    }
    case VT_BSTR: {
        std::u16string text;
        if (SUCCEEDED(hr = ToText(s, src.vt, flags, &text))) {
            r.bstrVal = zyn::com::AllocBstr(text);
            if (!r.bstrVal) hr = E_OUTOFMEMORY;
        }
        break;
    }
    default:
        return DISP_E_BADVARTYPE;
    }
    if (FAILED(hr)) return hr;
    *out = r;
    return S_OK;
}

} // namespace

void VariantInit(VARIANT* v) {
    if (!v) return;
    std::memset(v, 0, sizeof *v);
    v->vt = VT_EMPTY;
}

HRESULT VariantClear(VARIANT* v) {
    if (!v) return E_INVALIDARG;
    if (!(v->vt & VT_BYREF)) {
        if (v->vt & VT_ARRAY) {
            if (v->parray && v->parray->cLocks) return E_ACCESSDENIED;
            SafeArrayDestroy(v->parray);
        } else if (v->vt == VT_BSTR) {
            SysFreeString(v->bstrVal);
        } else if (IsInterface(v->vt)) {
            if (v->punkVal) v->punkVal->Release();
        }
    }
    VariantInit(v);
    return S_OK;
}

HRESULT VariantCopy(VARIANT* dst, const VARIANT* src) {
    if (!dst || !src) return E_INVALIDARG;
    if (dst == src) return S_OK;
    VARIANT copy = *src;
    if (!(src->vt & VT_BYREF)) {
        if (src->vt & VT_ARRAY) {
            HRESULT hr = SafeArrayCopy(src->parray, &copy.parray);
            if (FAILED(hr)) return hr;
        } else if (src->vt == VT_BSTR && src->bstrVal) {
            copy.bstrVal = SysAllocStringByteLen(reinterpret_cast<const char*>(src->bstrVal),
                                                 SysStringByteLen(src->bstrVal));
            if (!copy.bstrVal) return E_OUTOFMEMORY;
        } else if (IsInterface(src->vt) && src->punkVal) {
            src->punkVal->AddRef();
        }
    }
    VariantClear(dst);
    *dst = copy;
    return S_OK;
}

HRESULT VariantChangeType(VARIANT* dst, const VARIANT* src, USHORT flags, VARTYPE vt) {
    if (!dst || !src) return E_INVALIDARG;
    // Follow a by-reference source to the value it points at.
    VARIANT deref;
    if (src->vt & VT_BYREF) {
        if (!src->byref) return E_INVALIDARG;
        VariantInit(&deref);
        VARTYPE base = static_cast<VARTYPE>(src->vt & ~VT_BYREF);
        if (base == VT_VARIANT) {
            deref = *static_cast<const VARIANT*>(src->byref);
        } else {
            deref.vt = base;
            // NOLINTNEXTLINE(bugprone-sizeof-expression): a by-reference array refers to the pointer
            std::size_t bytes = (base & VT_ARRAY)   ? sizeof(SAFEARRAY*)
                                : base == VT_BSTR   ? sizeof(BSTR)
                                : IsInterface(base) ? sizeof(void*)
                                : base == VT_R8 || base == VT_DATE || base == VT_I8 || base == VT_UI8 ? 8
                                : base == VT_I4 || base == VT_UI4 || base == VT_INT || base == VT_UINT ||
                                        base == VT_R4 || base == VT_ERROR
                                    ? 4
                                : base == VT_I2 || base == VT_UI2 || base == VT_BOOL ? 2
                                                                                     : 1;
            std::memcpy(&deref.llVal, src->byref, bytes);
        }
        src = &deref; // borrowed: copied below, never freed here
    }
    if (src->vt == vt) return VariantCopy(dst, src);
    if (vt == VT_EMPTY) return VariantClear(dst);
    if (vt == VT_NULL) {
        VariantClear(dst);
        dst->vt = VT_NULL;
        return S_OK;
    }
    if ((src->vt & VT_ARRAY) || (vt & VT_ARRAY)) return DISP_E_TYPEMISMATCH;
    if (IsInterface(vt)) {
        if (!IsInterface(src->vt)) return DISP_E_TYPEMISMATCH;
        VARIANT r;
        VariantInit(&r);
        r.vt = vt;
        if (src->punkVal) {
            HRESULT hr = src->punkVal->QueryInterface(vt == VT_DISPATCH ? IDispatch::kIID : IUnknown::kIID,
                                                      reinterpret_cast<void**>(&r.punkVal));
            if (FAILED(hr)) return DISP_E_TYPEMISMATCH;
        }
        VariantClear(dst);
        *dst = r;
        return S_OK;
    }
    if (IsInterface(src->vt)) return DISP_E_TYPEMISMATCH;
    VARIANT out;
    HRESULT hr = ConvertScalar(*src, flags, vt, &out);
    if (FAILED(hr)) return hr;
    VariantClear(dst);
    *dst = out;
    return S_OK;
}

CComVariant::CComVariant(IDispatch* p) {
    VariantInit(this);
    vt = VT_DISPATCH;
    pdispVal = p;
    if (p) p->AddRef();
}

CComVariant::CComVariant(IUnknown* p) {
    VariantInit(this);
    vt = VT_UNKNOWN;
    punkVal = p;
    if (p) p->AddRef();
}

HRESULT CComVariant::Detach(VARIANT* out) {
    if (!out) return E_POINTER;
    VariantClear(out);
    *out = *this;
    VariantInit(this);
    return S_OK;
}
