#pragma once
// Type descriptions behind every dual interface: the tables a generated type library provides,
// and the ITypeInfo that exposes one interface's table to callers such as a script host.

#include "dispatch.h"

#include <span>
#include <string>

namespace zyn::com {

enum ParamFlags : std::uint8_t {
    kParamIn = 0x1,
    kParamOut = 0x2,
    kParamRetval = 0x4,
    kParamOptional = 0x8,
    kParamHasDefault = 0x10,
};

struct DispParam {
    const char16_t* name;
    VARTYPE vt; // VT_I4, VT_R8, VT_BSTR, VT_VARIANT, VT_UI1, VT_DISPATCH, VT_UNKNOWN, VT_UI4 …
    std::uint8_t flags;
    LONG defaultValue; // for kParamHasDefault (the only defaults in use are integers)
};

enum class MemberKind : std::uint8_t { Func = 1, PropGet = 2, PropPut = 4 };

// Calls the C++ member: `args` hold the in-parameters in declaration order, already converted to
// their declared types; the retval (if any) is stored in `result`.
using DispThunk = HRESULT (*)(void* self, VARIANT* args, VARIANT* result);

struct DispMember {
    DISPID id;
    MemberKind kind;
    const char16_t* name;
    const char16_t* help;
    std::span<const DispParam> params;
    DispThunk thunk;
};

struct DispInterface {
    const char16_t* name;
    const IID* iid;
    const char16_t* help;
    std::span<const DispMember> members; // those of `base` first, in its order
    // The interface of the same library this one extends (a later version keeps the earlier one's
    // members and dispatch ids); null for one that extends only IDispatch.
    const DispInterface* base = nullptr;
};

struct CoClassInfo {
    const char16_t* name;
    const CLSID* clsid;
    const char16_t* progId;
    const char16_t* versionIndependentProgId;
    const char16_t* description;
    int registryScript;
    const IID* defaultInterface;
    bool creatable;
};

struct TypeLibInfo {
    const char16_t* name;
    const GUID* libid;
    WORD majorVersion;
    WORD minorVersion;
    const char16_t* help;
    std::span<const DispInterface* const> interfaces;
    std::span<const CoClassInfo> classes;
    // The file name of the in-process server library that implements the classes.
    const char* serverFile;
};

// Case-insensitive name lookup: ids[0] is the member, the rest the parameters' positions.
HRESULT DispGetIDsOfNames(const DispInterface& table, LPOLESTR* names, UINT count, DISPID* ids);

// Late-bound call through a table. A member's failure comes back as DISP_E_EXCEPTION with `excep`
// filled from the thread's error object (or as the plain HRESULT when `excep` is null).
HRESULT DispInvoke(const DispInterface& table, void* self, DISPID id, WORD flags, DISPPARAMS* params,
                   VARIANT* result, EXCEPINFO* excep, UINT* argErr);

// Case-insensitive compare of ASCII-range names, as automation name lookup works.
bool NamesEqual(std::u16string_view a, std::u16string_view b);

} // namespace zyn::com

// The parts of ITypeInfo that late binding needs: which members exist, their kinds and parameter
// counts, their names and help strings.
enum INVOKEKIND {
    INVOKE_FUNC = 1,
    INVOKE_PROPERTYGET = 2,
    INVOKE_PROPERTYPUT = 4,
    INVOKE_PROPERTYPUTREF = 8
};

// A parameter's declared type and direction flags.
inline constexpr USHORT PARAMFLAG_FIN = 0x1;
inline constexpr USHORT PARAMFLAG_FOUT = 0x2;
inline constexpr USHORT PARAMFLAG_FRETVAL = 0x8;
inline constexpr USHORT PARAMFLAG_FOPT = 0x10;
inline constexpr USHORT PARAMFLAG_FHASDEFAULT = 0x20;

struct TYPEDESC {
    VARTYPE vt;
};
struct PARAMDESC {
    USHORT wParamFlags;
};
struct ELEMDESC {
    TYPEDESC tdesc;
    PARAMDESC paramdesc;
};

struct FUNCDESC {
    MEMBERID memid;
    INVOKEKIND invkind;
    SHORT cParams; // the parameters a caller passes (the retval is not one of them)
    SHORT cParamsOpt;
    VARTYPE vtReturn;            // VT_EMPTY when the member has no retval
    ELEMDESC* lprgelemdescParam; // cParams entries, in declaration order
};

struct TYPEATTR {
    GUID guid;
    WORD cFuncs;
    WORD wMajorVerNum;
    WORD wMinorVerNum;
    WORD cImplTypes; // 1 when the interface extends another one described here, else 0
};

// Names an interface that another one extends (GetRefTypeOfImplType, GetRefTypeInfo).
using HREFTYPE = DWORD;

struct ITypeInfo : IUnknown {
    static constexpr IID kIID = zyn::com::MakeGuid("00020401-0000-0000-C000-000000000046");
    virtual HRESULT GetTypeAttr(TYPEATTR** out) = 0;
    virtual void ReleaseTypeAttr(TYPEATTR* attr) = 0;
    virtual HRESULT GetFuncDesc(UINT index, FUNCDESC** out) = 0;
    virtual void ReleaseFuncDesc(FUNCDESC* desc) = 0;
    virtual HRESULT GetNames(MEMBERID id, BSTR* names, UINT max, UINT* count) = 0;
    virtual HRESULT GetIDsOfNames(LPOLESTR* names, UINT count, MEMBERID* ids) = 0;
    virtual HRESULT Invoke(void* instance, MEMBERID id, WORD flags, DISPPARAMS* params, VARIANT* result,
                           EXCEPINFO* excep, UINT* argErr) = 0;
    virtual HRESULT GetDocumentation(MEMBERID id, BSTR* name, BSTR* doc, DWORD* helpContext,
                                     BSTR* helpFile) = 0;
    // The interface this one extends (index 0 only, when cImplTypes is 1) and its type info.
    virtual HRESULT GetRefTypeOfImplType(UINT index, HREFTYPE* ref) = 0;
    virtual HRESULT GetRefTypeInfo(HREFTYPE ref, ITypeInfo** out) = 0;

protected:
    ~ITypeInfo() = default;
};

namespace zyn::com {

// A type info over one table; `self`-less, shared by every object of the interface.
HRESULT CreateTableTypeInfo(const DispInterface& table, const TypeLibInfo* lib, ITypeInfo** out);

// The type info of the first version of the interface `info` describes: the one at the start of
// the chain of interfaces it extends (`info` itself when it extends none). The names and help that
// callers see for an object (bus interfaces, error sources) stay those of the first version when a
// later one adds members.
CComPtr<ITypeInfo> FirstVersionOf(ITypeInfo* info);

// The IDispatch members of an object whose dual interface `I` carries a generated table
// (I::TypeTable()). Derive the object from DispatchImpl<I> instead of I.
template <class I> class DispatchImpl : public I {
public:
    HRESULT GetTypeInfoCount(UINT* count) override {
        if (!count) return E_POINTER;
        *count = 1;
        return S_OK;
    }
    HRESULT GetTypeInfo(UINT index, LCID, ITypeInfo** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (index != 0) return DISP_E_BADINDEX;
        return CreateTableTypeInfo(I::TypeTable(), &I::TypeLibrary(), out);
    }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        return DispGetIDsOfNames(I::TypeTable(), names, count, ids);
    }
    HRESULT Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* excep,
                   UINT* argErr) override {
        return DispInvoke(I::TypeTable(), static_cast<I*>(this), id, flags, params, result, excep, argErr);
    }
};

} // namespace zyn::com
