#include "ZynValueArrays.h"

#include <cstdint>
#include <limits>

namespace zyn::obj {
namespace {

// The array a VARIANT holds, by value or by reference; null when it holds none.
SAFEARRAY* ArrayOf(const VARIANT& arg) {
    if (arg.vt == (VT_BYREF | VT_VARIANT)) return arg.pvarVal ? ArrayOf(*arg.pvarVal) : nullptr;
    if (!(arg.vt & VT_ARRAY)) return nullptr;
    if (arg.vt & VT_BYREF) return arg.byref ? *static_cast<SAFEARRAY**>(arg.byref) : nullptr;
    return arg.parray;
}

} // namespace

CDoubleArrayArg::~CDoubleArrayArg() {
    if (m_accessed) SafeArrayUnaccessData(m_accessed);
}

HRESULT CDoubleArrayArg::Read(const VARIANT& arg, VARTYPE as, std::size_t* badIndex) {
    SAFEARRAY* array = ArrayOf(arg);
    if (!array || SafeArrayGetDim(array) != 1) return E_INVALIDARG;
    VARTYPE element = VT_EMPTY;
    LONG lower = 0, upper = -1;
    if (FAILED(SafeArrayGetVartype(array, &element)) || FAILED(SafeArrayGetLBound(array, 1, &lower)) ||
        FAILED(SafeArrayGetUBound(array, 1, &upper)))
        return E_INVALIDARG;
    const std::int64_t count = std::int64_t{upper} - std::int64_t{lower} + 1;
    if (count <= 0) return S_OK;
    m_size = static_cast<std::size_t>(count);

    // Doubles and dates are both doubles: nothing to convert, nothing to copy.
    if ((element == VT_R8 || element == VT_DATE) && SafeArrayGetElemsize(array) == sizeof(double)) {
        void* data = nullptr;
        if (FAILED(SafeArrayAccessData(array, &data)) || !data) return E_INVALIDARG;
        m_accessed = array;
        m_data = static_cast<const double*>(data);
        return S_OK;
    }
    try {
        m_converted.resize(m_size);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    // Variants that hold plain numbers (what a script's array of numbers becomes) are read directly;
    // anything else converts as a single argument would.
    const VARIANT* variants = nullptr;
    if (element == VT_VARIANT) {
        void* data = nullptr;
        if (SUCCEEDED(SafeArrayAccessData(array, &data))) variants = static_cast<const VARIANT*>(data);
    }
    struct Unaccess {
        SAFEARRAY* array;
        ~Unaccess() {
            if (array) SafeArrayUnaccessData(array);
        }
    } unaccess{variants ? array : nullptr};
    for (std::size_t i = 0; i < m_size; ++i) {
        if (variants) {
            const VARIANT& v = variants[i];
            if (v.vt == VT_R8 || (v.vt == VT_DATE && as == VT_DATE)) {
                m_converted[i] = v.vt == VT_R8 ? v.dblVal : v.date;
                continue;
            }
            if (v.vt == VT_I4) {
                m_converted[i] = v.lVal;
                continue;
            }
        }
        const LONG index = static_cast<LONG>(lower + static_cast<std::int64_t>(i));
        CComVariant item;
        HRESULT hr;
        if (element == VT_VARIANT) {
            hr = SafeArrayGetElement(array, &index, &item);
        } else {
            item.vt = element;
            hr = SafeArrayGetElement(array, &index, &item.llVal); // every member starts the union
            if (FAILED(hr)) item.vt = VT_EMPTY;
        }
        CComVariant converted;
        if (SUCCEEDED(hr)) hr = VariantChangeType(&converted, &item, 0, as);
        if (FAILED(hr)) {
            if (badIndex) *badIndex = i;
            return hr == DISP_E_OVERFLOW ? hr : DISP_E_TYPEMISMATCH;
        }
        m_converted[i] = as == VT_DATE ? converted.date : converted.dblVal;
    }
    m_data = m_converted.data();
    return S_OK;
}

HRESULT MakeDoubleArray(std::size_t n, VARIANT* out, const std::function<void(double*)>& fill) {
    VariantInit(out);
    if (n > std::numeric_limits<ULONG>::max()) return E_OUTOFMEMORY;
    SAFEARRAY* array = SafeArrayCreateVector(VT_R8, 0, static_cast<ULONG>(n));
    if (!array) return E_OUTOFMEMORY;
    if (n > 0) {
        void* data = nullptr;
        if (FAILED(SafeArrayAccessData(array, &data)) || !data) {
            SafeArrayDestroy(array);
            return E_OUTOFMEMORY;
        }
        fill(static_cast<double*>(data));
        SafeArrayUnaccessData(array);
    }
    out->vt = VT_ARRAY | VT_R8;
    out->parray = array;
    return S_OK;
}

} // namespace zyn::obj
