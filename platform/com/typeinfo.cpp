#include "typeinfo.h"

#include "ccombstr.h"
#include "errorinfo.h"

#include <vector>

namespace zyn::com {
namespace {

const DispMember* SelectMember(const DispInterface& table, DISPID id, WORD flags) {
    const DispMember* func = nullptr;
    const DispMember* get = nullptr;
    const DispMember* put = nullptr;
    for (const DispMember& m : table.members) {
        if (m.id != id) continue;
        if (m.kind == MemberKind::Func) func = &m;
        if (m.kind == MemberKind::PropGet) get = &m;
        if (m.kind == MemberKind::PropPut) put = &m;
    }
    if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) return put;
    if ((flags & DISPATCH_METHOD) && func) return func;
    if (flags & DISPATCH_PROPERTYGET) return get ? get : func;
    if (flags & DISPATCH_METHOD) return get; // a script may call a property like a method
    return nullptr;
}

bool IsMissing(const VARIANT& v) {
    return v.vt == VT_ERROR && v.scode == DISP_E_PARAMNOTFOUND;
}

// Converts one caller's argument to the declared type; the result is owned by `out`.
HRESULT ConvertArgument(const VARIANT& arg, const DispParam& p, VARIANT* out) {
    VariantInit(out);
    if (p.vt == VT_VARIANT) {
        if (arg.vt == (VT_BYREF | VT_VARIANT) && arg.pvarVal) return VariantCopy(out, arg.pvarVal);
        if (arg.vt & VT_BYREF)
            return VariantChangeType(out, &arg, 0, static_cast<VARTYPE>(arg.vt & ~VT_BYREF));
        return VariantCopy(out, &arg);
    }
    if ((p.vt == VT_DISPATCH || p.vt == VT_UNKNOWN) && (arg.vt == VT_EMPTY || arg.vt == VT_NULL)) {
        out->vt = p.vt;
        out->punkVal = nullptr;
        return S_OK;
    }
    HRESULT hr = VariantChangeType(out, &arg, 0, p.vt);
    if (FAILED(hr)) return hr == DISP_E_OVERFLOW ? hr : DISP_E_TYPEMISMATCH;
    return S_OK;
}

void FillException(HRESULT hr, EXCEPINFO* excep) {
    *excep = EXCEPINFO{};
    excep->scode = hr;
    CComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, &info) == S_OK && info) {
        info->GetSource(&excep->bstrSource);
        info->GetDescription(&excep->bstrDescription);
        info->GetHelpFile(&excep->bstrHelpFile);
        info->GetHelpContext(&excep->dwHelpContext);
    }
}

USHORT ParamFlagsOf(const DispParam& p) {
    USHORT flags = 0;
    if (p.flags & kParamIn) flags |= PARAMFLAG_FIN;
    if (p.flags & kParamOut) flags |= PARAMFLAG_FOUT;
    if (p.flags & kParamRetval) flags |= PARAMFLAG_FRETVAL;
    if (p.flags & kParamOptional) flags |= PARAMFLAG_FOPT;
    if (p.flags & kParamHasDefault) flags |= PARAMFLAG_FHASDEFAULT;
    return flags;
}

// A description with the storage of its parameter array.
struct FuncDescBlock : FUNCDESC {
    std::vector<ELEMDESC> params;
};

class CTableTypeInfo final : public ComRefCount, public ITypeInfo {
public:
    CTableTypeInfo(const DispInterface& table, const TypeLibInfo* lib) : m_table(table), m_lib(lib) {}
    ZYN_COM_IUNKNOWN(CTableTypeInfo, ITypeInfo)

    HRESULT GetTypeAttr(TYPEATTR** out) override {
        if (!out) return E_POINTER;
        auto* attr = new TYPEATTR{};
        attr->guid = *m_table.iid;
        attr->cFuncs = static_cast<WORD>(m_table.members.size());
        attr->wMajorVerNum = m_lib ? m_lib->majorVersion : 1;
        attr->wMinorVerNum = m_lib ? m_lib->minorVersion : 0;
        attr->cImplTypes = m_table.base ? 1 : 0;
        *out = attr;
        return S_OK;
    }
    void ReleaseTypeAttr(TYPEATTR* attr) override { delete attr; }

    HRESULT GetFuncDesc(UINT index, FUNCDESC** out) override {
        if (!out) return E_POINTER;
        if (index >= m_table.members.size()) return TYPE_E_ELEMENTNOTFOUND;
        const DispMember& m = m_table.members[index];
        auto* d = new FuncDescBlock{};
        d->memid = m.id;
        d->invkind = static_cast<INVOKEKIND>(m.kind);
        d->vtReturn = VT_EMPTY;
        for (const DispParam& p : m.params) {
            if (p.flags & kParamRetval) {
                d->vtReturn = p.vt;
                continue;
            }
            d->params.push_back(ELEMDESC{{p.vt}, {ParamFlagsOf(p)}});
            if (p.flags & kParamOptional) ++d->cParamsOpt;
        }
        d->cParams = static_cast<SHORT>(d->params.size());
        d->lprgelemdescParam = d->params.empty() ? nullptr : d->params.data();
        *out = d;
        return S_OK;
    }
    void ReleaseFuncDesc(FUNCDESC* desc) override { delete static_cast<FuncDescBlock*>(desc); }

    HRESULT GetNames(MEMBERID id, BSTR* names, UINT max, UINT* count) override {
        if (!names || !count) return E_POINTER;
        *count = 0;
        for (const DispMember& m : m_table.members) {
            if (m.id != id) continue;
            if (max > 0) names[(*count)++] = SysAllocString(m.name);
            // The parameters in declaration order, the retval last; a put's value has no name.
            for (const DispParam& p : m.params)
                if (m.kind != MemberKind::PropPut && *count < max) names[(*count)++] = SysAllocString(p.name);
            return S_OK;
        }
        return TYPE_E_ELEMENTNOTFOUND;
    }

    HRESULT GetIDsOfNames(LPOLESTR* names, UINT count, MEMBERID* ids) override {
        return DispGetIDsOfNames(m_table, names, count, ids);
    }

    HRESULT Invoke(void* instance, MEMBERID id, WORD flags, DISPPARAMS* params, VARIANT* result,
                   EXCEPINFO* excep, UINT* argErr) override {
        return DispInvoke(m_table, instance, id, flags, params, result, excep, argErr);
    }

    HRESULT GetDocumentation(MEMBERID id, BSTR* name, BSTR* doc, DWORD* helpContext,
                             BSTR* helpFile) override {
        const char16_t* n = nullptr;
        const char16_t* h = nullptr;
        if (id == -1) {
            n = m_table.name;
            h = m_table.help;
        } else {
            for (const DispMember& m : m_table.members)
                if (m.id == id) {
                    n = m.name;
                    h = m.help;
                    break;
                }
        }
        if (!n) return TYPE_E_ELEMENTNOTFOUND;
        if (name) *name = SysAllocString(n);
        if (doc) *doc = SysAllocString(h);
        if (helpContext) *helpContext = 0;
        if (helpFile) *helpFile = nullptr;
        return S_OK;
    }

    HRESULT GetRefTypeOfImplType(UINT index, HREFTYPE* ref) override {
        if (!ref) return E_POINTER;
        if (index != 0 || !m_table.base) return TYPE_E_ELEMENTNOTFOUND;
        *ref = 0;
        return S_OK;
    }

    HRESULT GetRefTypeInfo(HREFTYPE ref, ITypeInfo** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (ref != 0 || !m_table.base) return TYPE_E_ELEMENTNOTFOUND;
        return CreateTableTypeInfo(*m_table.base, m_lib, out);
    }

private:
    const DispInterface& m_table;
    const TypeLibInfo* m_lib;
};

} // namespace

bool NamesEqual(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char16_t x = a[i], y = b[i];
        if (x >= u'a' && x <= u'z') x = char16_t(x - 32);
        if (y >= u'a' && y <= u'z') y = char16_t(y - 32);
        if (x != y) return false;
    }
    return true;
}

HRESULT DispGetIDsOfNames(const DispInterface& table, LPOLESTR* names, UINT count, DISPID* ids) {
    if (!names || !ids) return E_POINTER;
    if (count == 0) return S_OK;
    for (UINT i = 0; i < count; ++i)
        ids[i] = DISPID_UNKNOWN;
    const DispMember* found = nullptr;
    std::u16string_view wanted(names[0] ? names[0] : u"");
    for (const DispMember& m : table.members)
        if (NamesEqual(m.name, wanted)) {
            found = &m;
            break;
        }
    if (!found) return DISP_E_UNKNOWNNAME;
    ids[0] = found->id;
    HRESULT hr = S_OK;
    for (UINT i = 1; i < count; ++i) {
        std::u16string_view pname(names[i] ? names[i] : u"");
        DISPID position = 0;
        for (const DispParam& p : found->params) {
            if (NamesEqual(p.name, pname)) {
                ids[i] = position;
                break;
            }
            ++position;
        }
        if (ids[i] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
    }
    return hr;
}

HRESULT DispInvoke(const DispInterface& table, void* self, DISPID id, WORD flags, DISPPARAMS* params,
                   VARIANT* result, EXCEPINFO* excep, UINT* argErr) {
    if (!params) return E_INVALIDARG;
    if (params->cArgs && !params->rgvarg) return E_INVALIDARG;
    const DispMember* m = SelectMember(table, id, flags);
    // A table that only describes members (one read from another process) cannot call them.
    if (!m || !m->thunk) return DISP_E_MEMBERNOTFOUND;

    // Named arguments: only the property-put value is understood.
    UINT named = params->cNamedArgs;
    if (named > 0) {
        bool putValue = named == 1 && params->rgdispidNamedArgs &&
                        params->rgdispidNamedArgs[0] == DISPID_PROPERTYPUT && m->kind == MemberKind::PropPut;
        if (!putValue) return DISP_E_NONAMEDARGS;
    }

    std::vector<const DispParam*> inParams;
    std::size_t required = 0;
    for (const DispParam& p : m->params) {
        if (p.flags & kParamRetval) continue;
        inParams.push_back(&p);
        if (!(p.flags & (kParamOptional | kParamHasDefault))) required = inParams.size();
    }
    const UINT given = params->cArgs;
    if (given > inParams.size() || given < required) return DISP_E_BADPARAMCOUNT;

    std::vector<VARIANT> args(inParams.size());
    std::size_t converted = 0;
    HRESULT hr = S_OK;
    for (std::size_t i = 0; i < inParams.size(); ++i) {
        const DispParam& p = *inParams[i];
        // Arguments arrive last-to-first.
        const VARIANT* arg = i < given ? &params->rgvarg[given - 1 - i] : nullptr;
        if (!arg || IsMissing(*arg)) {
            VariantInit(&args[i]);
            ++converted;
            if (p.flags & kParamHasDefault) {
                VARIANT def;
                VariantInit(&def);
                def.vt = VT_I4;
                def.lVal = p.defaultValue;
                hr = p.vt == VT_VARIANT ? VariantCopy(&args[i], &def)
                                        : VariantChangeType(&args[i], &def, 0, p.vt);
            } else if (p.flags & kParamOptional) {
                args[i].vt = VT_ERROR;
                args[i].scode = DISP_E_PARAMNOTFOUND;
            } else {
                hr = DISP_E_PARAMNOTOPTIONAL;
            }
            if (FAILED(hr)) break;
            continue;
        }
        hr = ConvertArgument(*arg, p, &args[i]);
        ++converted;
        if (FAILED(hr)) {
            if (argErr) *argErr = static_cast<UINT>(given - 1 - i);
            break;
        }
    }

    VARIANT r;
    VariantInit(&r);
    if (SUCCEEDED(hr)) {
        SetErrorInfo(0, nullptr); // what the caller reads after a failure must come from this call
        hr = m->thunk(self, args.data(), &r);
        if (FAILED(hr) && excep) {
            FillException(hr, excep);
            hr = DISP_E_EXCEPTION;
        }
    }
    for (std::size_t i = 0; i < converted; ++i)
        VariantClear(&args[i]);
    if (result && SUCCEEDED(hr)) {
        VariantClear(result);
        *result = r;
    } else {
        VariantClear(&r);
    }
    return hr;
}

HRESULT CreateTableTypeInfo(const DispInterface& table, const TypeLibInfo* lib, ITypeInfo** out) {
    if (!out) return E_POINTER;
    auto* info = new CTableTypeInfo(table, lib);
    info->AddRef();
    *out = info;
    return S_OK;
}

CComPtr<ITypeInfo> FirstVersionOf(ITypeInfo* info) {
    CComPtr<ITypeInfo> current(info);
    // A chain is a few versions long; the bound only keeps a malformed (circular) one finite.
    for (int step = 0; current && step < 64; ++step) {
        TYPEATTR* attr = nullptr;
        if (FAILED(current->GetTypeAttr(&attr)) || !attr) break;
        const bool extends = attr->cImplTypes > 0;
        current->ReleaseTypeAttr(attr);
        HREFTYPE ref = 0;
        CComPtr<ITypeInfo> base;
        if (!extends || FAILED(current->GetRefTypeOfImplType(0, &ref)) ||
            FAILED(current->GetRefTypeInfo(ref, &base)) || !base)
            break;
        current = base;
    }
    return current;
}

} // namespace zyn::com
