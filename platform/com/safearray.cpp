#include "variant.h"

#include "dispatch.h"

#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

constexpr ULONG kMaxArrayBytes = 0x7FFFFFFF;

ULONG ElementSize(VARTYPE vt) {
    switch (vt) {
    case VT_UI1:
    case VT_I1:
        return 1;
    case VT_I2:
    case VT_UI2:
    case VT_BOOL:
        return 2;
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_R4:
    case VT_ERROR:
        return 4;
    case VT_R8:
    case VT_DATE:
    case VT_I8:
    case VT_UI8:
        return 8;
    case VT_BSTR:
        return sizeof(BSTR);
    case VT_UNKNOWN:
    case VT_DISPATCH:
        return sizeof(void*);
    case VT_VARIANT:
        return sizeof(VARIANT);
    default:
        return 0;
    }
}

void* ElementAt(SAFEARRAY* psa, ULONG offset) {
    return static_cast<unsigned char*>(psa->pvData) + std::size_t(offset) * psa->cbElements;
}

bool IndexToOffset(const SAFEARRAY* psa, const LONG* indices, ULONG* offset) {
    if (!psa || !indices) return false;
    long long rel = static_cast<long long>(indices[0]) - psa->rgsabound[0].lLbound;
    if (rel < 0 || rel >= psa->rgsabound[0].cElements) return false;
    *offset = static_cast<ULONG>(rel);
    return true;
}

// Lets go of what one element owns and leaves it empty.
void ReleaseElement(VARTYPE vt, void* e) {
    switch (vt) {
    case VT_BSTR:
        SysFreeString(*static_cast<BSTR*>(e));
        *static_cast<BSTR*>(e) = nullptr;
        break;
    case VT_UNKNOWN:
    case VT_DISPATCH:
        if (auto* u = *static_cast<IUnknown**>(e)) u->Release();
        *static_cast<IUnknown**>(e) = nullptr;
        break;
    case VT_VARIANT:
        VariantClear(static_cast<VARIANT*>(e));
        break;
    default:
        break;
    }
}

void ClearElements(SAFEARRAY* psa) {
    // Only these element types own anything; a chart's byte array runs to tens of megabytes.
    if (psa->vt != VT_BSTR && psa->vt != VT_UNKNOWN && psa->vt != VT_DISPATCH && psa->vt != VT_VARIANT)
        return;
    for (ULONG i = 0; i < psa->rgsabound[0].cElements; ++i)
        ReleaseElement(psa->vt, ElementAt(psa, i));
}

// Copies one element with ownership: BSTRs duplicated, variants deep-copied, interfaces AddRef'd.
HRESULT CopyElement(VARTYPE vt, ULONG size, void* dst, const void* src) {
    switch (vt) {
    case VT_BSTR: {
        BSTR s = *static_cast<const BSTR*>(src);
        BSTR copy =
            s ? SysAllocStringByteLen(reinterpret_cast<const char*>(s), SysStringByteLen(s)) : nullptr;
        if (s && !copy) return E_OUTOFMEMORY;
        *static_cast<BSTR*>(dst) = copy;
        return S_OK;
    }
    case VT_UNKNOWN:
    case VT_DISPATCH: {
        IUnknown* u = *static_cast<IUnknown* const*>(src);
        if (u) u->AddRef();
        *static_cast<IUnknown**>(dst) = u;
        return S_OK;
    }
    case VT_VARIANT:
        VariantInit(static_cast<VARIANT*>(dst));
        return VariantCopy(static_cast<VARIANT*>(dst), static_cast<const VARIANT*>(src));
    default:
        std::memcpy(dst, src, size);
        return S_OK;
    }
}

} // namespace

SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT dims, const SAFEARRAYBOUND* bounds) {
    if (dims != 1 || !bounds) return nullptr;
    ULONG size = ElementSize(vt);
    if (size == 0) return nullptr;
    if (bounds->cElements > kMaxArrayBytes / size) return nullptr;
    auto* psa = static_cast<SAFEARRAY*>(std::calloc(1, sizeof(SAFEARRAY)));
    if (!psa) return nullptr;
    psa->cDims = 1;
    psa->cbElements = size;
    psa->vt = vt;
    psa->rgsabound[0] = *bounds;
    std::size_t bytes = std::size_t(bounds->cElements) * size;
    psa->pvData = std::calloc(bytes ? bytes : 1, 1); // zeroed: BSTRs null, variants VT_EMPTY
    if (!psa->pvData) {
        std::free(psa);
        return nullptr;
    }
    return psa;
}

SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lowerBound, ULONG elements) {
    SAFEARRAYBOUND b{elements, lowerBound};
    return SafeArrayCreate(vt, 1, &b);
}

HRESULT SafeArrayDestroy(SAFEARRAY* psa) {
    if (!psa) return S_OK;
    if (psa->cLocks) return E_ACCESSDENIED; // a locked array is still in use: refuse
    ClearElements(psa);
    std::free(psa->pvData);
    std::free(psa);
    return S_OK;
}

HRESULT SafeArrayLock(SAFEARRAY* psa) {
    if (!psa) return E_INVALIDARG;
    ++psa->cLocks;
    return S_OK;
}

HRESULT SafeArrayUnlock(SAFEARRAY* psa) {
    if (!psa || psa->cLocks == 0) return E_UNEXPECTED;
    --psa->cLocks;
    return S_OK;
}

HRESULT SafeArrayAccessData(SAFEARRAY* psa, void** data) {
    if (!psa || !data) return E_INVALIDARG;
    ++psa->cLocks;
    *data = psa->pvData;
    return S_OK;
}

HRESULT SafeArrayUnaccessData(SAFEARRAY* psa) {
    return SafeArrayUnlock(psa);
}

UINT SafeArrayGetDim(const SAFEARRAY* psa) {
    return psa ? psa->cDims : 0;
}
UINT SafeArrayGetElemsize(const SAFEARRAY* psa) {
    return psa ? psa->cbElements : 0;
}

HRESULT SafeArrayGetLBound(const SAFEARRAY* psa, UINT dim, LONG* out) {
    if (!psa || !out) return E_INVALIDARG;
    if (dim != 1) return DISP_E_BADINDEX;
    *out = psa->rgsabound[0].lLbound;
    return S_OK;
}

HRESULT SafeArrayGetUBound(const SAFEARRAY* psa, UINT dim, LONG* out) {
    if (!psa || !out) return E_INVALIDARG;
    if (dim != 1) return DISP_E_BADINDEX;
    long long ub = static_cast<long long>(psa->rgsabound[0].lLbound) + psa->rgsabound[0].cElements - 1;
    if (ub > std::numeric_limits<LONG>::max()) return DISP_E_OVERFLOW;
    *out = static_cast<LONG>(ub);
    return S_OK;
}

HRESULT SafeArrayGetVartype(const SAFEARRAY* psa, VARTYPE* out) {
    if (!psa || !out) return E_INVALIDARG;
    *out = psa->vt;
    return S_OK;
}

HRESULT SafeArrayGetElement(SAFEARRAY* psa, const LONG* indices, void* out) {
    ULONG offset;
    if (!out) return E_INVALIDARG;
    if (!IndexToOffset(psa, indices, &offset)) return DISP_E_BADINDEX;
    return CopyElement(psa->vt, psa->cbElements, out, ElementAt(psa, offset));
}

HRESULT SafeArrayPutElement(SAFEARRAY* psa, const LONG* indices, const void* value) {
    ULONG offset;
    if (!IndexToOffset(psa, indices, &offset)) return DISP_E_BADINDEX;
    void* e = ElementAt(psa, offset);
    // Copy first, then free the old element, so that putting an element onto itself is safe.
    alignas(VARIANT) unsigned char fresh[sizeof(VARIANT)];
    VARTYPE vt = psa->vt;
    // As callers expect: strings and interfaces are passed as the value itself, everything else
    // (variants included) as a pointer to the value.
    const void* src = value;
    const void* direct = value;
    if (vt == VT_BSTR || vt == VT_UNKNOWN || vt == VT_DISPATCH) src = &direct;
    if (!src) return E_INVALIDARG;
    HRESULT hr = CopyElement(vt, psa->cbElements, fresh, src);
    if (FAILED(hr)) return hr;
    ReleaseElement(vt, e);
    std::memcpy(e, fresh, psa->cbElements);
    return S_OK;
}

HRESULT SafeArrayCopy(const SAFEARRAY* psa, SAFEARRAY** out) {
    if (!out) return E_INVALIDARG;
    *out = nullptr;
    if (!psa) return S_OK;
    SAFEARRAY* copy = SafeArrayCreate(psa->vt, 1, psa->rgsabound);
    if (!copy) return E_OUTOFMEMORY;
    // Plain values (a chart's bytes) copy as one block; owned ones one by one.
    const bool plain =
        psa->vt != VT_BSTR && psa->vt != VT_VARIANT && psa->vt != VT_UNKNOWN && psa->vt != VT_DISPATCH;
    if (plain) {
        if (psa->rgsabound[0].cElements > 0)
            std::memcpy(copy->pvData, psa->pvData,
                        std::size_t(psa->rgsabound[0].cElements) * psa->cbElements);
        *out = copy;
        return S_OK;
    }
    for (ULONG i = 0; i < psa->rgsabound[0].cElements; ++i) {
        HRESULT hr = CopyElement(psa->vt, psa->cbElements, ElementAt(copy, i),
                                 ElementAt(const_cast<SAFEARRAY*>(psa), i));
        if (FAILED(hr)) {
            SafeArrayDestroy(copy);
            return hr;
        }
    }
    *out = copy;
    return S_OK;
}
