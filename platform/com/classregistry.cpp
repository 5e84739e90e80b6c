#include "classregistry.h"

#include "bstr.h"
#include "registry/registry.h"

#include <dlfcn.h>
#include <unistd.h>

#include <filesystem>

#include <map>
#include <mutex>
#include <new>
#include <string>

namespace {

struct RegisteredFactory {
    CLSID clsid;
    CComPtr<IUnknown> factory;
};

std::mutex g_mutex;
std::map<DWORD, RegisteredFactory> g_factories;
DWORD g_nextCookie = 1;
// Libraries stay loaded for the life of the process: objects from them may outlive any caller.
std::map<std::string, void*> g_libraries;

std::u16string ReadDefaultValue(const std::u16string& keyPath) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, keyPath.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return {};
    DWORD type = 0, bytes = 0;
    std::u16string value;
    if (RegQueryValueExW(key, u"", nullptr, &type, nullptr, &bytes) == ERROR_SUCCESS && type == REG_SZ &&
        bytes >= 2) {
        value.resize(bytes / 2);
        if (RegQueryValueExW(key, u"", nullptr, &type, reinterpret_cast<BYTE*>(value.data()), &bytes) !=
            ERROR_SUCCESS)
            value.clear();
        while (!value.empty() && value.back() == u'\0')
            value.pop_back();
    }
    RegCloseKey(key);
    return value;
}

void* LoadLibraryOnce(const std::string& path) {
    std::lock_guard lock(g_mutex);
    auto it = g_libraries.find(path);
    if (it != g_libraries.end()) return it->second;
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle) g_libraries.emplace(path, handle);
    return handle;
}

HRESULT FromRegisteredServer(REFCLSID clsid, REFIID iid, void** out) {
    std::u16string server =
        ReadDefaultValue(u"CLSID\\" + zyn::com::GuidToString(clsid) + u"\\InprocServer32");
    if (server.empty()) return REGDB_E_CLASSNOTREG;
    void* lib = LoadLibraryOnce(zyn::com::Utf16ToUtf8(server));
    if (!lib) return CO_E_DLLNOTFOUND;
    auto getClassObject = reinterpret_cast<PFN_DllGetClassObject>(dlsym(lib, "DllGetClassObject"));
    if (!getClassObject) return CO_E_DLLNOTFOUND;
    return getClassObject(clsid, iid, out);
}

} // namespace

HRESULT CoInitialize(void*) {
    return S_OK;
}
HRESULT CoInitializeEx(void*, DWORD) {
    return S_OK;
}
void CoUninitialize() {}

HRESULT CoRegisterClassObject(REFCLSID clsid, IUnknown* factory, DWORD, DWORD, DWORD* cookie) {
    if (!factory || !cookie) return E_INVALIDARG;
    std::lock_guard lock(g_mutex);
    *cookie = g_nextCookie++;
    g_factories[*cookie] = RegisteredFactory{clsid, CComPtr<IUnknown>(factory)};
    return S_OK;
}

HRESULT CoRevokeClassObject(DWORD cookie) {
    CComPtr<IUnknown> released; // let go outside the lock: a factory's destructor may call back in
    std::lock_guard lock(g_mutex);
    auto it = g_factories.find(cookie);
    if (it == g_factories.end()) return E_INVALIDARG;
    released = it->second.factory;
    g_factories.erase(it);
    return S_OK;
}

HRESULT CoGetClassObject(REFCLSID clsid, DWORD context, void*, REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    CComPtr<IUnknown> local;
    {
        std::lock_guard lock(g_mutex);
        for (auto& [cookie, entry] : g_factories)
            if (entry.clsid == clsid) {
                local = entry.factory;
                break;
            }
    }
    if (local) return local->QueryInterface(iid, out);
    if (!(context & CLSCTX_INPROC_SERVER)) return REGDB_E_CLASSNOTREG;
    return FromRegisteredServer(clsid, iid, out);
}

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    CComPtr<IClassFactory> factory;
    HRESULT hr =
        CoGetClassObject(clsid, context, nullptr, IClassFactory::kIID, reinterpret_cast<void**>(&factory));
    if (FAILED(hr)) return hr;
    return factory->CreateInstance(outer, iid, out);
}

HRESULT CLSIDFromString(LPCOLESTR text, CLSID* out) {
    if (!out) return E_POINTER;
    auto parsed = zyn::com::GuidFromString(text ? std::u16string_view(text) : std::u16string_view());
    if (!parsed) return CO_E_CLASSSTRING;
    *out = *parsed;
    return S_OK;
}

HRESULT CLSIDFromProgID(LPCOLESTR progId, CLSID* out) {
    if (!out || !progId) return E_INVALIDARG;
    std::u16string_view name(progId);
    if (!name.empty() && name.front() == u'{') return CLSIDFromString(progId, out);
    if (name.empty() || name.size() > 255 || name.find(u'\\') != std::u16string_view::npos)
        return CO_E_CLASSSTRING;
    std::u16string clsid = ReadDefaultValue(std::u16string(name) + u"\\CLSID");
    if (clsid.empty()) return CO_E_CLASSSTRING;
    return SUCCEEDED(CLSIDFromString(clsid.c_str(), out)) ? S_OK : CO_E_CLASSSTRING;
}

HRESULT ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    std::u16string progId = ReadDefaultValue(u"CLSID\\" + zyn::com::GuidToString(clsid) + u"\\ProgID");
    if (progId.empty()) return REGDB_E_CLASSNOTREG;
    *out = zyn::com::AllocBstr(progId);
    return *out ? S_OK : E_OUTOFMEMORY;
}

namespace zyn::com {

HRESULT CallServerExport(const char* libraryPath, const char* exportName) {
    if (!libraryPath || !exportName) return E_INVALIDARG;
    void* lib = LoadLibraryOnce(libraryPath);
    if (!lib) return CO_E_DLLNOTFOUND;
    auto fn = reinterpret_cast<PFN_DllRegisterServer>(dlsym(lib, exportName));
    if (!fn) return E_NOTIMPL;
    return fn();
}

HRESULT EnsureServerRegistered(std::u16string_view probeProgId, const std::string& libraryPath) {
    CLSID clsid{};
    const std::u16string probe(probeProgId);
    if (SUCCEEDED(CLSIDFromProgID(probe.c_str(), &clsid))) {
        std::u16string server = ReadDefaultValue(u"CLSID\\" + GuidToString(clsid) + u"\\InprocServer32");
        std::error_code ec;
        if (!server.empty() && std::filesystem::exists(Utf16ToUtf8(server), ec)) return S_FALSE;
    }
    return CallServerExport(libraryPath.c_str(), "DllRegisterServer");
}

std::string ExecutableFolder() {
    char path[4096];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return ".";
    path[n] = 0;
    std::string folder(path);
    const auto slash = folder.rfind('/');
    return slash == std::string::npos ? std::string(".") : folder.substr(0, slash);
}

} // namespace zyn::com
