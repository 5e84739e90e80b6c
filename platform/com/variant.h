#pragma once
// VARIANT and SAFEARRAY: the self-describing values that cross every automation interface, with
// the conversions the system needs (numbers, dates, strings, bool) and one-dimensional arrays.

#include "bstr.h"
#include "unknown.h"

using VARTYPE = std::uint16_t;

enum VARENUM : VARTYPE {
    VT_EMPTY = 0,
    VT_NULL = 1,
    VT_I2 = 2,
    VT_I4 = 3,
    VT_R4 = 4,
    VT_R8 = 5,
    VT_CY = 6,
    VT_DATE = 7,
    VT_BSTR = 8,
    VT_DISPATCH = 9,
    VT_ERROR = 10,
    VT_BOOL = 11,
    VT_VARIANT = 12,
    VT_UNKNOWN = 13,
    VT_I1 = 16,
    VT_UI1 = 17,
    VT_UI2 = 18,
    VT_UI4 = 19,
    VT_I8 = 20,
    VT_UI8 = 21,
    VT_INT = 22,
    VT_UINT = 23,
    VT_VOID = 24,
    VT_HRESULT = 25,
    VT_ARRAY = 0x2000,
    VT_BYREF = 0x4000,
    VT_TYPEMASK = 0x0FFF,
};

struct IDispatch;
struct SAFEARRAY;

struct VARIANT {
    VARTYPE vt;
    WORD wReserved1;
    WORD wReserved2;
    WORD wReserved3;
    union {
        LONGLONG llVal;
        ULONGLONG ullVal;
        LONG lVal;
        ULONG ulVal;
        INT intVal;
        UINT uintVal;
        BYTE bVal;
        CHAR cVal;
        SHORT iVal;
        USHORT uiVal;
        FLOAT fltVal;
        DOUBLE dblVal;
        VARIANT_BOOL boolVal;
        SCODE scode;
        DATE date;
        BSTR bstrVal;
        IUnknown* punkVal;
        IDispatch* pdispVal;
        SAFEARRAY* parray;
        VARIANT* pvarVal;
        void* byref;
    };
};
using VARIANTARG = VARIANT;

// VariantChangeType flags (accepted for familiarity; conversions are locale-independent).
inline constexpr USHORT VARIANT_NOVALUEPROP = 0x1;
inline constexpr USHORT VARIANT_ALPHABOOL = 0x2;

void VariantInit(VARIANT* v);
HRESULT VariantClear(VARIANT* v);
HRESULT VariantCopy(VARIANT* dst, const VARIANT* src);
// Converts src into dst (they may be the same). Numbers convert with range checks
// (DISP_E_OVERFLOW), strings parse as numbers, dates or bools (DISP_E_TYPEMISMATCH when they do not),
// VT_BYREF sources are followed.
HRESULT VariantChangeType(VARIANT* dst, const VARIANT* src, USHORT flags, VARTYPE vt);

struct SAFEARRAYBOUND {
    ULONG cElements;
    LONG lLbound;
};

struct SAFEARRAY {
    USHORT cDims;
    USHORT fFeatures;
    ULONG cbElements;
    ULONG cLocks;
    void* pvData;
    VARTYPE vt; // element type (kept here rather than in a hidden prefix)
    SAFEARRAYBOUND rgsabound[1];
};

// Only one-dimensional arrays are made. Element types: VT_UI1, VT_I1, VT_I2, VT_UI2, VT_I4, VT_UI4,
// VT_INT, VT_UINT, VT_R4, VT_R8, VT_DATE, VT_BOOL, VT_BSTR, VT_VARIANT, VT_UNKNOWN, VT_DISPATCH.
SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT dims, const SAFEARRAYBOUND* bounds);
SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lowerBound, ULONG elements);
HRESULT SafeArrayDestroy(SAFEARRAY* psa);
HRESULT SafeArrayLock(SAFEARRAY* psa);
HRESULT SafeArrayUnlock(SAFEARRAY* psa);
HRESULT SafeArrayAccessData(SAFEARRAY* psa, void** data);
HRESULT SafeArrayUnaccessData(SAFEARRAY* psa);
UINT SafeArrayGetDim(const SAFEARRAY* psa);
UINT SafeArrayGetElemsize(const SAFEARRAY* psa);
HRESULT SafeArrayGetLBound(const SAFEARRAY* psa, UINT dim, LONG* out);
HRESULT SafeArrayGetUBound(const SAFEARRAY* psa, UINT dim, LONG* out);
HRESULT SafeArrayGetVartype(const SAFEARRAY* psa, VARTYPE* out);
// Element access copies: a BSTR is duplicated, a VARIANT deep-copied, an interface AddRef'd. Put
// takes a BSTR or an interface pointer as the value itself, anything else through a pointer.
HRESULT SafeArrayGetElement(SAFEARRAY* psa, const LONG* indices, void* out);
HRESULT SafeArrayPutElement(SAFEARRAY* psa, const LONG* indices, const void* value);
HRESULT SafeArrayCopy(const SAFEARRAY* psa, SAFEARRAY** out);

// CComVariant: owns one VARIANT.
class CComVariant : public VARIANT {
public:
    CComVariant() { VariantInit(this); }
    CComVariant(const VARIANT& v) {
        VariantInit(this);
        VariantCopy(this, &v);
    }
    CComVariant(const CComVariant& v) : CComVariant(static_cast<const VARIANT&>(v)) {}
    CComVariant(double d) { Set(VT_R8).dblVal = d; }
    CComVariant(int i) { Set(VT_I4).lVal = i; }
    CComVariant(bool b) { Set(VT_BOOL).boolVal = b ? VARIANT_TRUE : VARIANT_FALSE; }
    CComVariant(const char16_t* s) { Set(VT_BSTR).bstrVal = SysAllocString(s); }
    CComVariant(std::u16string_view s) { Set(VT_BSTR).bstrVal = zyn::com::AllocBstr(s); }
    CComVariant(IDispatch* p);
    CComVariant(IUnknown* p);
    ~CComVariant() { VariantClear(this); }
    CComVariant& operator=(const CComVariant& o) {
        if (this != &o) VariantCopy(this, &o);
        return *this;
    }
    CComVariant& operator=(const VARIANT& o) {
        if (this != &o) VariantCopy(this, &o);
        return *this;
    }
    HRESULT Clear() { return VariantClear(this); }
    HRESULT ChangeType(VARTYPE to, const VARIANT* src = nullptr) {
        return VariantChangeType(this, src ? src : this, 0, to);
    }
    HRESULT Detach(VARIANT* out);
    static CComVariant Date(DATE d) {
        CComVariant v;
        v.vt = VT_DATE;
        v.date = d;
        return v;
    }

private:
    VARIANT& Set(VARTYPE t) {
        VariantInit(this);
        vt = t;
        return *this;
    }
};
