// A minimal in-process server library for the class registry tests: one class, found through
// DllGetClassObject after a dlopen, and a registration entry point naming this file as the server.

#include "test_server.h"
#include "com/classregistry.h"
#include "registry/registry.h"

#include <dlfcn.h>

#include <string>

namespace {

using zyn::com::testing::ICounter;
using zyn::com::testing::kCounterClass;
using zyn::com::testing::kHiddenClass;

class CCounter final : public zyn::com::ComRefCount, public ICounter {
public:
    ZYN_COM_IUNKNOWN(CCounter, ICounter)
    LONG Next() override { return ++m_value; }

private:
    LONG m_value = 0;
};

bool SetDefault(const std::u16string& key, const std::u16string& value) {
    HKEY h = nullptr;
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h,
                        nullptr) != ERROR_SUCCESS)
        return false;
    const LONG rc = RegSetValueExW(h, u"", 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                   static_cast<DWORD>((value.size() + 1) * sizeof(char16_t)));
    RegCloseKey(h);
    return rc == ERROR_SUCCESS;
}

} // namespace

extern "C" HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (clsid != kCounterClass) return CLASS_E_CLASSNOTAVAILABLE;
    auto factory = zyn::com::MakeObject<zyn::com::ClassFactory<CCounter>>();
    return factory->QueryInterface(iid, out);
}

extern "C" HRESULT DllRegisterServer() {
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void*>(&DllRegisterServer), &info) || !info.dli_fname) return E_FAIL;
    const std::u16string path = zyn::com::Utf8ToUtf16(info.dli_fname);
    const std::u16string counter = zyn::com::GuidToString(kCounterClass);
    const bool ok =
        SetDefault(u"CLSID\\" + counter + u"\\InprocServer32", path) &&
        SetDefault(u"CLSID\\" + zyn::com::GuidToString(kHiddenClass) + u"\\InprocServer32", path) &&
        SetDefault(u"Test.Counter.1\\CLSID", counter);
    return ok ? S_OK : E_FAIL;
}
