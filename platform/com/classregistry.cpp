#include "classregistry.h"

#include "bstr.h"
#include "dispatch.h"
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

std::u16string ReadStringValue(const std::u16string& keyPath, const char16_t* name = u"") {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, keyPath.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return {};
    DWORD type = 0, bytes = 0;
    std::u16string value;
    if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &bytes) == ERROR_SUCCESS && type == REG_SZ &&
        bytes >= 2) {
        value.resize(bytes / 2);
        if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value.data()), &bytes) !=
            ERROR_SUCCESS)
            value.clear();
        while (!value.empty() && value.back() == u'\0')
            value.pop_back();
    }
    RegCloseKey(key);
    return value;
}

std::u16string ReadDefaultValue(const std::u16string& keyPath) {
    return ReadStringValue(keyPath);
}

bool WriteStringValue(const std::u16string& keyPath, const char16_t* name, std::u16string_view value) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, keyPath.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return false;
    const std::u16string text(value);
    const LONG rc = RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                                   static_cast<DWORD>((text.size() + 1) * sizeof(char16_t)));
    RegCloseKey(key);
    return rc == ERROR_SUCCESS;
}

std::u16string ClassKey(REFCLSID clsid) {
    return u"CLSID\\" + zyn::com::GuidToString(clsid);
}

std::u16string DispatchProxyKey() {
    return u"Interface\\" + zyn::com::GuidToString(IDispatch::kIID) + u"\\ProxyStubClsid32";
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
    std::u16string server = ReadDefaultValue(ClassKey(clsid) + u"\\InprocServer32");
    if (server.empty()) return REGDB_E_CLASSNOTREG;
    void* lib = LoadLibraryOnce(zyn::com::Utf16ToUtf8(server));
    if (!lib) return CO_E_DLLNOTFOUND;
    auto getClassObject = reinterpret_cast<PFN_DllGetClassObject>(dlsym(lib, "DllGetClassObject"));
    if (!getClassObject) return CO_E_DLLNOTFOUND;
    return getClassObject(clsid, iid, out);
}

// A class served by another process: the activator from the registered IDispatch proxy library
// connects to the server, or starts it.
HRESULT FromLocalServer(REFCLSID clsid, REFIID iid, void** out) {
    const std::u16string key = ClassKey(clsid) + u"\\LocalServer32";
    const std::u16string commandLine = ReadDefaultValue(key);
    if (commandLine.empty()) return REGDB_E_CLASSNOTREG;
    const std::u16string endpoint = ReadStringValue(key, u"Endpoint");
    CLSID proxyClass{};
    const std::u16string proxyClassText = ReadDefaultValue(DispatchProxyKey());
    if (proxyClassText.empty() || FAILED(CLSIDFromString(proxyClassText.c_str(), &proxyClass)))
        return REGDB_E_CLASSNOTREG;
    CComPtr<ILocalServerActivator> activator;
    const HRESULT hr =
        FromRegisteredServer(proxyClass, ILocalServerActivator::kIID, reinterpret_cast<void**>(&activator));
    if (FAILED(hr)) return hr;
    if (!activator) return E_NOINTERFACE;
    return activator->GetClassObject(clsid, commandLine.c_str(), endpoint.c_str(), iid, out);
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
    if (context & CLSCTX_INPROC_SERVER) {
        const HRESULT hr = FromRegisteredServer(clsid, iid, out);
        if (hr != REGDB_E_CLASSNOTREG) return hr;
    }
    if (context & CLSCTX_LOCAL_SERVER) return FromLocalServer(clsid, iid, out);
    return REGDB_E_CLASSNOTREG;
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
        std::u16string server = ReadDefaultValue(ClassKey(clsid) + u"\\InprocServer32");
        std::error_code ec;
        if (!server.empty() && std::filesystem::exists(Utf16ToUtf8(server), ec)) return S_FALSE;
    }
    return CallServerExport(libraryPath.c_str(), "DllRegisterServer");
}

HRESULT RegisterLocalServer(const LocalServerClass& entry) {
    const std::u16string clsid = GuidToString(entry.clsid);
    const std::u16string key = ClassKey(entry.clsid);
    bool ok = WriteStringValue(entry.progId, u"", entry.description);
    ok &= WriteStringValue(entry.progId + u"\\CLSID", u"", clsid);
    ok &= WriteStringValue(key, u"", entry.description);
    ok &= WriteStringValue(key + u"\\ProgID", u"", entry.progId);
    ok &= WriteStringValue(key + u"\\LocalServer32", u"", entry.commandLine);
    ok &= WriteStringValue(key + u"\\LocalServer32", u"Endpoint", entry.endpoint);
    return ok ? S_OK : SELFREG_E_CLASS;
}

HRESULT UnregisterLocalServer(REFCLSID clsid, std::u16string_view progId) {
    const std::u16string prog(progId);
    if (!prog.empty()) RegDeleteTreeW(HKEY_CLASSES_ROOT, prog.c_str());
    RegDeleteTreeW(HKEY_CLASSES_ROOT, ClassKey(clsid).c_str());
    return S_OK;
}

HRESULT RegisterDispatchProxy(const std::string& libraryPath) {
    bool ok = WriteStringValue(DispatchProxyKey(), u"", GuidToString(CLSID_PSDispatch));
    ok &= WriteStringValue(ClassKey(CLSID_PSDispatch) + u"\\InprocServer32", u"", Utf8ToUtf16(libraryPath));
    return ok ? S_OK : SELFREG_E_CLASS;
}

HRESULT UnregisterDispatchProxy() {
    RegDeleteTreeW(HKEY_CLASSES_ROOT, DispatchProxyKey().c_str());
    RegDeleteTreeW(HKEY_CLASSES_ROOT, ClassKey(CLSID_PSDispatch).c_str());
    return S_OK;
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
