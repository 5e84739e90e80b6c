#include "classregistry.h"

#include "bstr.h"
#include "dispatch.h"
#include "registry/registry.h"

#include <dlfcn.h>
#include <unistd.h>

#include <filesystem>

#include <cstdio>
#include <map>
#include <mutex>
#include <new>
#include <string>
#include <vector>

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

// Classes this process creates from one library whatever the classes root says (UseServerLibrary).
struct PinnedClass {
    CLSID clsid;
    PFN_DllGetClassObject getClassObject;
};
std::vector<PinnedClass> g_pinnedClasses;
struct PinnedLibrary {
    GUID libid;
    std::string path;
};
std::vector<PinnedLibrary> g_pinnedLibraries;

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

PFN_DllGetClassObject PinnedServerOf(REFCLSID clsid) {
    std::lock_guard lock(g_mutex);
    for (const PinnedClass& c : g_pinnedClasses)
        if (c.clsid == clsid) return c.getClassObject;
    return nullptr;
}

std::string InprocServerOf(REFCLSID clsid) {
    return zyn::com::Utf16ToUtf8(
        ReadDefaultValue(u"CLSID\\" + zyn::com::GuidToString(clsid) + u"\\InprocServer32"));
}

bool SameFile(const std::string& a, const std::string& b) {
    std::error_code ec;
    return !a.empty() && !b.empty() && std::filesystem::equivalent(a, b, ec);
}

bool FileExists(const std::string& path) {
    std::error_code ec;
    return !path.empty() && std::filesystem::exists(path, ec);
}

HRESULT FromRegisteredServer(REFCLSID clsid, REFIID iid, void** out) {
    const std::string server = InprocServerOf(clsid);
    if (server.empty()) return REGDB_E_CLASSNOTREG;
    void* lib = LoadLibraryOnce(server);
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
        if (PFN_DllGetClassObject pinned = PinnedServerOf(clsid)) return pinned(clsid, iid, out);
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

std::string OwnLibraryFile(const std::string& fileName) {
    const std::filesystem::path folder = ExecutableFolder();
    for (const std::filesystem::path& candidate :
         {folder / fileName, (folder / ZYN_LIBDIR_FROM_BINDIR / fileName).lexically_normal()})
        if (FileExists(candidate.string())) return candidate.string();
    return {};
}

std::string OwnServerLibrary(const TypeLibInfo& lib) {
    return OwnLibraryFile(lib.serverFile);
}

std::string ServerLibraryUse::Notice() const {
    if (displaced.empty()) return {};
    if (FAILED(registration)) {
        char code[16];
        std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(registration));
        return "the settings store names " + displaced +
               " for these objects; this program uses its own copy, " + path +
               ", but could not register it (" + code + ")";
    }
    return "the settings store named " + displaced +
           " for these objects; registered this program's own copy, " + path + ", instead";
}

ServerLibraryUse UseServerLibrary(const TypeLibInfo& lib, const std::string& path) {
    ServerLibraryUse use;
    use.path = path;
    {
        std::lock_guard lock(g_mutex);
        for (const PinnedLibrary& pinned : g_pinnedLibraries)
            if (pinned.libid == *lib.libid && !SameFile(pinned.path, path)) {
                use.hr = E_FAIL; // the process holds another copy already
                return use;
            }
    }
    void* library = path.empty() ? nullptr : LoadLibraryOnce(path);
    auto getClassObject =
        library ? reinterpret_cast<PFN_DllGetClassObject>(dlsym(library, "DllGetClassObject")) : nullptr;
    if (!getClassObject) {
        use.hr = CO_E_DLLNOTFOUND;
        return use;
    }

    bool current = true;
    for (const CoClassInfo& c : lib.classes) {
        const std::string named = InprocServerOf(*c.clsid);
        if (SameFile(named, path)) continue;
        current = false;
        if (use.displaced.empty() && FileExists(named)) use.displaced = named;
    }
    if (!current) {
        auto registerServer = reinterpret_cast<PFN_DllRegisterServer>(dlsym(library, "DllRegisterServer"));
        use.registration = registerServer ? registerServer() : E_NOTIMPL;
    }

    std::lock_guard lock(g_mutex);
    for (const PinnedLibrary& pinned : g_pinnedLibraries)
        if (pinned.libid == *lib.libid) return use;
    g_pinnedLibraries.push_back({*lib.libid, path});
    for (const CoClassInfo& c : lib.classes)
        g_pinnedClasses.push_back({*c.clsid, getClassObject});
    return use;
}

ServerLibraryUse UseOwnServerLibrary(const TypeLibInfo& lib) {
    return UseServerLibrary(lib, OwnServerLibrary(lib));
}

} // namespace zyn::com
