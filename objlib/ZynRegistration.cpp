// The registry entries an installer writes for the library: for each class its ProgID, its
// version-independent ProgID and its CLSID key; for the type library its LIBID and interfaces.

#include "ZynModule.h"

#include "registry/registry.h"

#include <string>

namespace zyn::obj {
namespace {

std::u16string Str(const GUID& g) {
    return zyn::com::GuidToString(g);
}

bool SetString(const std::u16string& keyPath, const char16_t* name, const std::u16string& value) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, keyPath.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return false;
    LONG rc = RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                             static_cast<DWORD>((value.size() + 1) * sizeof(char16_t)));
    RegCloseKey(key);
    return rc == ERROR_SUCCESS;
}

bool SetDefault(const std::u16string& keyPath, const std::u16string& value) {
    return SetString(keyPath, u"", value);
}

bool CreateKey(const std::u16string& keyPath) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, keyPath.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

bool RegisterClass(const zyn::com::CoClassInfo& c, const std::u16string& libraryPath,
                   const std::u16string& libid) {
    const std::u16string clsid = Str(*c.clsid);
    const std::u16string clsKey = u"CLSID\\" + clsid;
    bool ok = true;
    ok &= SetDefault(c.progId, c.description);
    ok &= SetDefault(std::u16string(c.progId) + u"\\CLSID", clsid);
    ok &= SetDefault(c.versionIndependentProgId, c.description);
    ok &= SetDefault(std::u16string(c.versionIndependentProgId) + u"\\CLSID", clsid);
    ok &= SetDefault(std::u16string(c.versionIndependentProgId) + u"\\CurVer", c.progId);
    ok &= SetDefault(clsKey, c.description);
    ok &= SetDefault(clsKey + u"\\ProgID", c.progId);
    ok &= SetDefault(clsKey + u"\\VersionIndependentProgID", c.versionIndependentProgId);
    ok &= CreateKey(clsKey + u"\\Programmable");
    ok &= SetDefault(clsKey + u"\\InprocServer32", libraryPath);
    ok &= SetString(clsKey + u"\\InprocServer32", u"ThreadingModel", u"Both");
    ok &= SetDefault(clsKey + u"\\TypeLib", libid);
    return ok;
}

bool RegisterTypeLibrary(const zyn::com::TypeLibInfo& lib, const std::u16string& libraryPath) {
    const std::u16string libid = Str(*lib.libid);
    const std::u16string version = std::u16string(1, char16_t(u'0' + lib.majorVersion)) + u"." +
                                   std::u16string(1, char16_t(u'0' + lib.minorVersion));
    const std::u16string libKey = u"TypeLib\\" + libid + u"\\" + version;
    bool ok = SetDefault(libKey, lib.help);
    ok &= SetDefault(libKey + u"\\0\\linux64", libraryPath);
    ok &= SetDefault(libKey + u"\\FLAGS", u"0");
    for (const zyn::com::DispInterface* itf : lib.interfaces) {
        const std::u16string key = u"Interface\\" + Str(*itf->iid);
        ok &= SetDefault(key, itf->name);
        ok &= SetDefault(key + u"\\TypeLib", libid);
        ok &= SetString(key + u"\\TypeLib", u"Version", version);
    }
    return ok;
}

} // namespace

HRESULT RegisterClasses(const std::u16string& libraryPath) {
    const zyn::com::TypeLibInfo& lib = ZYNTALLONOBJLib_TypeLib();
    const std::u16string libid = Str(*lib.libid);
    bool ok = true;
    for (const zyn::com::CoClassInfo& c : lib.classes)
        ok &= RegisterClass(c, libraryPath, libid);
    ok &= RegisterTypeLibrary(lib, libraryPath);
    return ok ? S_OK : SELFREG_E_CLASS;
}

HRESULT UnregisterClasses() {
    const zyn::com::TypeLibInfo& lib = ZYNTALLONOBJLib_TypeLib();
    for (const zyn::com::CoClassInfo& c : lib.classes) {
        RegDeleteTreeW(HKEY_CLASSES_ROOT, c.progId);
        RegDeleteTreeW(HKEY_CLASSES_ROOT, c.versionIndependentProgId);
        RegDeleteTreeW(HKEY_CLASSES_ROOT, (u"CLSID\\" + Str(*c.clsid)).c_str());
    }
    for (const zyn::com::DispInterface* itf : lib.interfaces)
        RegDeleteTreeW(HKEY_CLASSES_ROOT, (u"Interface\\" + Str(*itf->iid)).c_str());
    RegDeleteTreeW(HKEY_CLASSES_ROOT, (u"TypeLib\\" + Str(*lib.libid)).c_str());
    return S_OK;
}

} // namespace zyn::obj
