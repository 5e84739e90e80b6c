#include "classregistry.h"

#include "bstr.h"
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
    if (PFN_DllGetClassObject pinned = PinnedServerOf(clsid)) return pinned(clsid, iid, out);
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

std::string ExecutableFolder() {
    char path[4096];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return ".";
    path[n] = 0;
    std::string folder(path);
    const auto slash = folder.rfind('/');
    return slash == std::string::npos ? std::string(".") : folder.substr(0, slash);
}

std::string OwnServerLibrary(const TypeLibInfo& lib) {
    const std::filesystem::path folder = ExecutableFolder();
    for (const std::filesystem::path& candidate :
         {folder / lib.serverFile, (folder / ".." / "lib" / lib.serverFile).lexically_normal()})
        if (FileExists(candidate.string())) return candidate.string();
    return {};
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
