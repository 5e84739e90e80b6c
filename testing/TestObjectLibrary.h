#pragma once
// Objects of the object library for the program's tests and benchmarks, made as the program makes
// them: through the class registry, from the library beside the binary, registered on first use in
// the settings store the test set up (TempSettingsStore). Nothing here may reach the library's
// classes: the binary does not link it.

#include "com/classregistry.h"
#include "com/unknown.h"
#include "objlib/ZynInterfaces.h"
#include "registry/registry.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

namespace zyn::test {

// The object factory; null when the library beside the binary cannot be used, or when no settings
// store of the process's own is set (the library is never registered in the user's store).
inline CComPtr<IZynObjFactory> ObjectFactory() {
    const char* store = std::getenv("ZYN_REGISTRY_DIR");
    if (!store || !*store) return nullptr;
    static const bool used = SUCCEEDED(zyn::com::UseOwnServerLibrary(ZYNTALLONOBJLib_TypeLib()).hr);
    CComPtr<IZynObjFactory> factory;
    if (used)
        CoCreateInstance(CLSID_ZynObjFactory, nullptr, CLSCTX_ALL, IZynObjFactory::kIID,
                         reinterpret_cast<void**>(&factory));
    return factory;
}

// A new application object (the factory's Create(1)); null when it cannot be made.
inline CComPtr<IZynApp> NewApp() {
    CComPtr<IZynObjFactory> factory = ObjectFactory();
    CComPtr<IUnknown> made;
    CComPtr<IZynApp> app;
    if (factory && SUCCEEDED(factory->Create(1, 0, 0, &made)) && made) made.QueryInterface(&app);
    return app;
}

// A new chart adopted by no application object (the factory's Create(2)); null when it cannot be made.
inline CComPtr<IZynChart> NewChart() {
    CComPtr<IZynObjFactory> factory = ObjectFactory();
    CComPtr<IUnknown> made;
    CComPtr<IZynChart> chart;
    if (factory && SUCCEEDED(factory->Create(2, 0, 0, &made)) && made) made.QueryInterface(&chart);
    return chart;
}

// Copies the object library beside the binary into `folder` and names the copy in the settings
// store as the server of every class, as another installation's registration would, without
// loading it into this process. Returns the copy's path; empty when the library is not there.
inline std::string RegisterAnotherCopy(const std::filesystem::path& folder) {
    const zyn::com::TypeLibInfo& lib = ZYNTALLONOBJLib_TypeLib();
    const std::string own = zyn::com::OwnServerLibrary(lib);
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    const std::filesystem::path copy = folder / lib.serverFile;
    if (own.empty() ||
        !std::filesystem::copy_file(own, copy, std::filesystem::copy_options::overwrite_existing, ec))
        return {};
    const std::u16string value = zyn::com::Utf8ToUtf16(copy.string());
    for (const zyn::com::CoClassInfo& c : lib.classes) {
        const std::u16string key = u"CLSID\\" + zyn::com::GuidToString(*c.clsid) + u"\\InprocServer32";
        HKEY h = nullptr;
        if (RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h,
                            nullptr) != ERROR_SUCCESS)
            return {};
        RegSetValueExW(h, u"", 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       DWORD((value.size() + 1) * sizeof(char16_t)));
        RegCloseKey(h);
    }
    return copy.string();
}

// The file the settings store names as the server of the object factory's class.
inline std::string RegisteredObjectLibrary() {
    const std::u16string key = u"CLSID\\" + zyn::com::GuidToString(CLSID_ZynObjFactory) + u"\\InprocServer32";
    HKEY h = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return {};
    char16_t text[2048] = {};
    DWORD type = 0, bytes = sizeof text - sizeof(char16_t);
    const LONG rc = RegQueryValueExW(h, u"", nullptr, &type, reinterpret_cast<BYTE*>(text), &bytes);
    RegCloseKey(h);
    return rc == ERROR_SUCCESS ? zyn::com::Utf16ToUtf8(text) : std::string();
}

// The files mapped into this process that carry the object library's file name.
inline std::set<std::string> MappedObjectLibraries() {
    const std::string name = ZYNTALLONOBJLib_TypeLib().serverFile;
    std::set<std::string> paths;
    std::ifstream maps("/proc/self/maps");
    for (std::string line; std::getline(maps, line);) {
        std::istringstream fields(line);
        std::string range, perms, offset, device, inode, path;
        fields >> range >> perms >> offset >> device >> inode >> path;
        if (!path.empty() && std::filesystem::path(path).filename() == name) paths.insert(path);
    }
    return paths;
}

} // namespace zyn::test
