#pragma once
// Creating objects by class: factories registered by this process, and classes registered in the
// settings store's classes root. HKEY_CLASSES_ROOT\CLSID\{…}\InprocServer32 names a shared library
// that exports DllGetClassObject; HKEY_CLASSES_ROOT\CLSID\{…}\LocalServer32 names a program that
// serves the class from its own process, reached through the library registered as the proxy of
// IDispatch (see ILocalServerActivator). ProgIDs resolve through HKEY_CLASSES_ROOT\<ProgID>\CLSID.

#include "typeinfo.h"
#include "unknown.h"

#include <string>
#include <string_view>

struct IClassFactory : IUnknown {
    static constexpr IID kIID = zyn::com::MakeGuid("00000001-0000-0000-C000-000000000046");
    virtual HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** out) = 0;
    virtual HRESULT LockServer(BOOL lock) = 0;

protected:
    ~IClassFactory() = default;
};

inline constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
inline constexpr DWORD CLSCTX_LOCAL_SERVER = 0x4;
inline constexpr DWORD CLSCTX_SERVER = 0x15;
inline constexpr DWORD CLSCTX_ALL = 0x17;
inline constexpr DWORD REGCLS_SINGLEUSE = 0x0;
inline constexpr DWORD REGCLS_MULTIPLEUSE = 0x1;

// The class whose library carries IDispatch calls between processes: registered as
// HKEY_CLASSES_ROOT\Interface\{IDispatch}\ProxyStubClsid32, its class object is the activator below.
inline constexpr CLSID CLSID_PSDispatch = zyn::com::MakeGuid("00020420-0000-0000-C000-000000000046");

// Reaches a class served by a program of its own. The class registry hands over what
// HKEY_CLASSES_ROOT\CLSID\{…}\LocalServer32 holds: the program's command line (its default value)
// and "Endpoint", the address under which a running server offers its class objects.
struct ILocalServerActivator : IUnknown {
    static constexpr IID kIID = zyn::com::MakeGuid("B2C5A1E0-5D3F-4A7B-9C61-2F8E0D4A7C13");
    // The class object of `clsid` (a proxy), from the server at `endpoint`; when none serves it,
    // the program is started with `commandLine` and waited for.
    virtual HRESULT GetClassObject(REFCLSID clsid, LPCOLESTR commandLine, LPCOLESTR endpoint, REFIID iid,
                                   void** out) = 0;

protected:
    ~ILocalServerActivator() = default;
};

// Apartments do not exist here; these only keep callers' shapes.
HRESULT CoInitialize(void* reserved);
HRESULT CoInitializeEx(void* reserved, DWORD flags);
void CoUninitialize();

HRESULT CoRegisterClassObject(REFCLSID clsid, IUnknown* factory, DWORD context, DWORD flags, DWORD* cookie);
HRESULT CoRevokeClassObject(DWORD cookie);
HRESULT CoGetClassObject(REFCLSID clsid, DWORD context, void* reserved, REFIID iid, void** out);
HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID iid, void** out);

HRESULT CLSIDFromString(LPCOLESTR text, CLSID* out);
// A ProgID, or a CLSID in braces. CO_E_CLASSSTRING when neither is known.
HRESULT CLSIDFromProgID(LPCOLESTR progId, CLSID* out);
// The caller frees the result with SysFreeString. REGDB_E_CLASSNOTREG when there is none.
HRESULT ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* out);

// What an in-process server library exports (extern "C", found with dlsym).
using PFN_DllGetClassObject = HRESULT (*)(REFCLSID clsid, REFIID iid, void** out);
using PFN_DllRegisterServer = HRESULT (*)();

namespace zyn::com {

// The factory for a class whose objects are made with `new T()` and answer QueryInterface.
template <class T> class ClassFactory final : public ComRefCount, public IClassFactory {
public:
    ZYN_COM_IUNKNOWN(ClassFactory, IClassFactory)
    HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        CComPtr<T> obj(new (std::nothrow) T());
        if (!obj) return E_OUTOFMEMORY;
        return obj->QueryInterface(iid, out);
    }
    HRESULT LockServer(BOOL) override { return S_OK; }
};

// Loads an in-process server library by path and calls one of its exports; for registering and
// unregistering a library as an installer would.
HRESULT CallServerExport(const char* libraryPath, const char* exportName);

// What a program writes for a class it serves from its own process.
struct LocalServerClass {
    CLSID clsid;
    std::u16string progId;
    std::u16string description;
    std::u16string commandLine; // the program and its switches, e.g. "\"/opt/x/Tallon\" /Automation"
    std::u16string endpoint;    // where a running server is found
};
HRESULT RegisterLocalServer(const LocalServerClass& entry);
HRESULT UnregisterLocalServer(REFCLSID clsid, std::u16string_view progId);
// Registers the library that carries IDispatch calls between processes (the activator's home).
HRESULT RegisterDispatchProxy(const std::string& libraryPath);
HRESULT UnregisterDispatchProxy();

// The folder of the running executable (from /proc/self/exe), without a trailing '/'.
std::string ExecutableFolder();

// A library of the running program's own: `fileName` beside the executable, else where an
// installation puts it (../lib/tallon from the program's folder). Empty when neither exists.
std::string OwnLibraryFile(const std::string& fileName);
// The server library of `lib` that belongs to the running program, found as OwnLibraryFile finds it.
std::string OwnServerLibrary(const TypeLibInfo& lib);

// What UseServerLibrary found and did.
struct ServerLibraryUse {
    // S_OK: the process creates the classes of the library from `path`. A failure (the library
    // cannot be loaded, or the process uses another copy already) leaves creation as it was.
    HRESULT hr = S_OK;
    std::string path;
    // The result of the library's DllRegisterServer; S_FALSE when the store named it already.
    HRESULT registration = S_FALSE;
    // Another existing file that the settings store named as the server before; now replaced.
    std::string displaced;

    // What to tell the user when another file was displaced; empty otherwise.
    std::string Notice() const;
};

// Makes this process create every class of `lib` from the server library at `path`, whatever the
// classes root names now or later: a process that took objects from two copies of a library would
// hand objects of one to the other. When the store names no file, a missing file or another file
// for any of the classes, the library registers itself, as an installer would have done (the
// program's first use). Calling it again with the same path only repeats the store check.
ServerLibraryUse UseServerLibrary(const TypeLibInfo& lib, const std::string& path);
// The same for the running program's own copy (OwnServerLibrary): what both programs do on first use.
ServerLibraryUse UseOwnServerLibrary(const TypeLibInfo& lib);

} // namespace zyn::com
