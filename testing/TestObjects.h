#pragma once
// Automation objects that stand in for the object library's in tests of the code that reaches
// objects only through their interfaces: the late-binding tables, the script host's bridge, and
// the in-process test server that scripts create by ProgID. They follow the generated interfaces,
// so that code meets them exactly as it meets the library's own classes, and they record what
// reached them.

#include "objlib/ZynInterfaces.h"

#include "com/ccombstr.h"
#include "com/errorinfo.h"

#include <string>
#include <vector>

namespace zyn::test {

inline constexpr CLSID CLSID_TestUtils = zyn::com::MakeGuid("6B0F3E2A-41C7-4E55-9D1B-2C8A7F30B101");
inline constexpr CLSID CLSID_TestFilter = zyn::com::MakeGuid("6B0F3E2A-41C7-4E55-9D1B-2C8A7F30B102");
inline constexpr CLSID CLSID_TestDataSet = zyn::com::MakeGuid("6B0F3E2A-41C7-4E55-9D1B-2C8A7F30B103");
inline constexpr CLSID CLSID_TestLateBound = zyn::com::MakeGuid("6B0F3E2A-41C7-4E55-9D1B-2C8A7F30B104");

// Describes a VARIANT as "TYPE:value" so that a script or a test can see what reached an object.
std::u16string DescribeVariant(const VARIANT& v);

// Utils as a value mirror: FormatNumber keeps the VARIANT it was given (in `next`) and answers with
// its description; CurrentTime hands back the kept VARIANT, or whatever a test put in `next`.
class CTestUtils final : public zyn::com::ComRefCount, public zyn::com::DispatchImpl<IZynUtils> {
public:
    ZYN_COM_IUNKNOWN(CTestUtils, IZynUtils, IDispatch)
    HRESULT Log(BSTR text) override {
        // A failure without a description: the host must supply one.
        if (zyn::com::BstrView(text) == u"fail") return E_FAIL;
        return S_OK;
    }
    HRESULT CurrentTime(VARIANT* out) override { return VariantCopy(out, &next); }
    HRESULT NoCacheObject(LONG, LONG* out) override {
        *out = 0;
        return S_OK;
    }
    HRESULT StringToDouble(BSTR s, double* out) override;
    HRESULT FormatNumber(double, VARIANT format, BSTR* out) override {
        next.Clear();
        VariantCopy(&next, &format);
        *out = zyn::com::AllocBstr(DescribeVariant(format));
        return S_OK;
    }
    HRESULT ZynRGB(unsigned char r, unsigned char g, unsigned char b, OLE_COLOR* out) override {
        *out = r + 256u * g + 65536u * b;
        return S_OK;
    }
    HRESULT get_MajorVersion(LONG* out) override {
        *out = 2;
        return S_OK;
    }
    HRESULT get_MinorVersion(LONG* out) override {
        *out = 4;
        return S_OK;
    }
    HRESULT get_Build(LONG* out) override {
        *out = 1438;
        return S_OK;
    }
    CComVariant next;
};

// A filter that counts its detaches and refuses an Enable other than 0 or 1 through the error
// object, as the library's classes refuse bad arguments.
class CTestFilter final : public zyn::com::ComRefCount, public zyn::com::DispatchImpl<IZynFilter> {
public:
    ZYN_COM_IUNKNOWN(CTestFilter, IZynFilter, IDispatch)
    HRESULT Detach() override {
        ++detached;
        return S_OK;
    }
    HRESULT get_Name(BSTR* out) override { return name.CopyTo(out); }
    HRESULT put_Name(BSTR v) override {
        name = v;
        return S_OK;
    }
    HRESULT get_Enable(LONG* out) override {
        *out = enable;
        return S_OK;
    }
    HRESULT put_Enable(LONG v) override {
        if (v < 0 || v > 1)
            return zyn::com::RaiseError(E_INVALIDARG, u"Enable must be 0 or 1", u"ZynScriptTest.Filter.1");
        enable = v;
        return S_OK;
    }
    HRESULT get_Identifier(BSTR* out) override { return CComBSTR(u"{FILTER-ID}").CopyTo(out); }

    CComBSTR name{u"Filter-1"};
    LONG enable = 1;
    int detached = 0;
};

class CTestObjLock final : public zyn::com::ComRefCount, public zyn::com::DispatchImpl<IZynObjLock> {
public:
    ZYN_COM_IUNKNOWN(CTestObjLock, IZynObjLock, IDispatch)
    HRESULT Unlock() override {
        ++unlocked;
        return S_OK;
    }
    int unlocked = 0;
};

// A data set of `count` values i * 0.5 whose times are one millisecond apart from `start`.
class CTestDataSet final : public zyn::com::ComRefCount, public zyn::com::DispatchImpl<IZynDataSet> {
public:
    ZYN_COM_IUNKNOWN(CTestDataSet, IZynDataSet, IDispatch)
    CTestDataSet() {
        values.resize(1000);
        for (std::size_t i = 0; i < values.size(); ++i)
            values[i] = static_cast<double>(i) * 0.5;
    }
    HRESULT GetValueAt(LONG i, double* out) override {
        if (!InRange(i)) return OutOfRange();
        *out = values[static_cast<std::size_t>(i)];
        return S_OK;
    }
    HRESULT SetValueAt(LONG i, double v) override {
        if (!InRange(i)) return OutOfRange();
        values[static_cast<std::size_t>(i)] = v;
        return S_OK;
    }
    HRESULT GetTimeAt(LONG i, VARIANT* out) override {
        if (!InRange(i)) return OutOfRange();
        out->vt = VT_DATE;
        out->date = start + i / 86400000.0;
        return S_OK;
    }
    HRESULT GetRawValueAt(LONG i, double* out) override { return GetValueAt(i, out); }
    HRESULT TimeToIndex(double t, LONG* out) override;
    // Hands out a lock object, or none (S_FALSE and null) once `refuseLock` is set.
    HRESULT LockObject(IZynObjLock** out) override {
        *out = nullptr;
        if (refuseLock) return S_FALSE;
        *out = new CTestObjLock();
        (*out)->AddRef();
        return S_OK;
    }
    HRESULT get_IndexMax(LONG* out) override {
        *out = static_cast<LONG>(values.size()) - 1;
        return S_OK;
    }
    HRESULT get_IndexMin(LONG* out) override {
        *out = 0;
        return S_OK;
    }
    HRESULT get_Count(LONG* out) override {
        *out = static_cast<LONG>(values.size());
        return S_OK;
    }
    HRESULT get_Max(double* out) override {
        *out = values.back();
        return S_OK;
    }
    HRESULT get_Min(double* out) override {
        *out = values.front();
        return S_OK;
    }
    HRESULT get_Average(double* out) override {
        double sum = 0;
        for (double v : values)
            sum += v;
        *out = values.empty() ? 0 : sum / static_cast<double>(values.size());
        return S_OK;
    }

    std::vector<double> values;
    DATE start = 45000.5; // 2023-03-15 12:00 local
    bool refuseLock = false;

private:
    bool InRange(LONG i) const { return i >= 0 && static_cast<std::size_t>(i) < values.size(); }
    static HRESULT OutOfRange() {
        return zyn::com::RaiseError(E_INVALIDARG, u"Index out of range", u"ZynScriptTest.DataSet.1");
    }
};

// An object without type information: "Value" (a read-write long) and "Add" (a method of two
// numbers), found by name only, as some automation servers offer.
class CTestLateBound final : public zyn::com::ComRefCount, public IDispatch {
public:
    ZYN_COM_IUNKNOWN(CTestLateBound, IDispatch)
    static constexpr DISPID kValue = 1;
    static constexpr DISPID kAdd = 2;

    HRESULT GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo** out) override {
        *out = nullptr;
        return E_NOTIMPL;
    }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        if (count != 1) return DISP_E_UNKNOWNNAME;
        std::u16string_view n(names[0]);
        ids[0] = zyn::com::NamesEqual(n, u"Value") ? kValue
                 : zyn::com::NamesEqual(n, u"Add") ? kAdd
                                                   : DISPID_UNKNOWN;
        return ids[0] == DISPID_UNKNOWN ? DISP_E_UNKNOWNNAME : S_OK;
    }
    HRESULT Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* p, VARIANT* result, EXCEPINFO*,
                   UINT*) override {
        if (id == kValue) {
            if (flags & DISPATCH_PROPERTYPUT) {
                if (p->cArgs != 1) return DISP_E_BADPARAMCOUNT;
                CComVariant v;
                if (FAILED(VariantChangeType(&v, &p->rgvarg[0], 0, VT_I4))) return DISP_E_TYPEMISMATCH;
                value = v.lVal;
                return S_OK;
            }
            if (p->cArgs != 0) return DISP_E_BADPARAMCOUNT;
            if (result) {
                result->vt = VT_I4;
                result->lVal = value;
            }
            return S_OK;
        }
        if (id == kAdd) {
            if (p->cArgs != 2) return DISP_E_BADPARAMCOUNT;
            CComVariant a, b;
            if (FAILED(VariantChangeType(&a, &p->rgvarg[1], 0, VT_R8)) ||
                FAILED(VariantChangeType(&b, &p->rgvarg[0], 0, VT_R8)))
                return DISP_E_TYPEMISMATCH;
            if (result) {
                result->vt = VT_R8;
                result->dblVal = a.dblVal + b.dblVal;
            }
            return S_OK;
        }
        return DISP_E_MEMBERNOTFOUND;
    }
    LONG value = 7;
};

} // namespace zyn::test
