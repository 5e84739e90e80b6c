// An in-process server holding the test objects, so that the script tests reach them the way
// scripts reach the object library: a ProgID in the classes root, a library path, dlopen.

#include "testing/TestObjects.h"

#include "com/classregistry.h"
#include "registry/registry.h"

#include <dlfcn.h>

#include <string>

namespace {

using namespace zyn::test;

struct TestClass {
    const CLSID* clsid;
    const char16_t* progId;
    IClassFactory* (*makeFactory)();
};

template <class T> IClassFactory* Factory() {
    return new zyn::com::ClassFactory<T>();
}

const TestClass kClasses[] = {
    {&CLSID_TestUtils, u"ZynScriptTest.Utils", &Factory<CTestUtils>},
    {&CLSID_TestFilter, u"ZynScriptTest.Filter", &Factory<CTestFilter>},
    {&CLSID_TestDataSet, u"ZynScriptTest.DataSet", &Factory<CTestDataSet>},
    {&CLSID_TestLateBound, u"ZynScriptTest.LateBound", &Factory<CTestLateBound>},
};

bool SetDefault(const std::u16string& path, const std::u16string& value) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return false;
    const LONG rc = RegSetValueExW(key, u"", 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                   static_cast<DWORD>((value.size() + 1) * sizeof(char16_t)));
    RegCloseKey(key);
    return rc == ERROR_SUCCESS;
}

std::u16string OwnPath() {
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void*>(&OwnPath), &info) || !info.dli_fname) return {};
    return zyn::com::Utf8ToUtf16(info.dli_fname);
}

} // namespace

extern "C" __attribute__((visibility("default"))) HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid,
                                                                            void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    for (const TestClass& c : kClasses) {
        if (*c.clsid != clsid) continue;
        CComPtr<IClassFactory> factory(c.makeFactory());
        return factory->QueryInterface(iid, out);
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

extern "C" __attribute__((visibility("default"))) HRESULT DllRegisterServer() {
    const std::u16string path = OwnPath();
    if (path.empty()) return SELFREG_E_CLASS;
    for (const TestClass& c : kClasses) {
        const std::u16string clsid = zyn::com::GuidToString(*c.clsid);
        if (!SetDefault(std::u16string(c.progId) + u"\\CLSID", clsid) ||
            !SetDefault(u"CLSID\\" + clsid + u"\\InprocServer32", path) ||
            !SetDefault(u"CLSID\\" + clsid + u"\\ProgID", c.progId))
            return SELFREG_E_CLASS;
    }
    return S_OK;
}
