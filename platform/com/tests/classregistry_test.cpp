// Creating objects by ProgID and class id: classes registered in this process and classes served
// by a library named in the classes root, loaded on demand.

#include "com/ccombstr.h"
#include "com/classregistry.h"
#include "registry/registry.h"
#include "test_server.h"
#include "testing/TempSettingsStore.h"

#include <gtest/gtest.h>

#include <string>

#ifndef ZYN_TEST_SERVER_PATH
#error "the build names the test server library"
#endif

namespace {

using zyn::com::testing::ICounter;
using zyn::com::testing::kCounterClass;
constexpr CLSID kLocalClass = zyn::com::MakeGuid("6E0A4B31-1F0E-4C55-9A43-000000000003");

class CLocal final : public zyn::com::ComRefCount, public ICounter {
public:
    ZYN_COM_IUNKNOWN(CLocal, ICounter)
    LONG Next() override { return 100; }
};

void SetDefault(const std::u16string& key, const std::u16string& value) {
    HKEY h = nullptr;
    ASSERT_EQ(
        RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr),
        ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(h, u"", 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                             static_cast<DWORD>((value.size() + 1) * 2)),
              ERROR_SUCCESS);
    RegCloseKey(h);
}

using ClassRegistry = zyn::test::SettingsStoreTest;

TEST_F(ClassRegistry, RegisteredServerIsLoadedByProgIdAndClassId) {
    const std::u16string clsid = zyn::com::GuidToString(kCounterClass);
    SetDefault(u"CLSID\\" + clsid + u"\\InprocServer32", zyn::com::Utf8ToUtf16(ZYN_TEST_SERVER_PATH));
    SetDefault(u"CLSID\\" + clsid + u"\\ProgID", u"Test.Counter.1");
    SetDefault(u"Test.Counter.1\\CLSID", clsid);

    CLSID found{};
    ASSERT_EQ(CLSIDFromProgID(u"test.counter.1", &found), S_OK); // names compare without case
    EXPECT_EQ(found, kCounterClass);
    CComBSTR progId;
    ASSERT_EQ(ProgIDFromCLSID(kCounterClass, &progId), S_OK);
    EXPECT_EQ(progId, u"Test.Counter.1");

    CComPtr<ICounter> counter;
    ASSERT_EQ(
        CoCreateInstance(found, nullptr, CLSCTX_ALL, ICounter::kIID, reinterpret_cast<void**>(&counter)),
        S_OK);
    EXPECT_EQ(counter->Next(), 1);
    EXPECT_EQ(counter->Next(), 2);
    // A class the library does not serve is refused by the library itself.
    SetDefault(u"CLSID\\" + zyn::com::GuidToString(kLocalClass) + u"\\InprocServer32",
               zyn::com::Utf8ToUtf16(ZYN_TEST_SERVER_PATH));
    CComPtr<IUnknown> none;
    EXPECT_EQ(
        CoCreateInstance(kLocalClass, nullptr, CLSCTX_ALL, IUnknown::kIID, reinterpret_cast<void**>(&none)),
        CLASS_E_CLASSNOTAVAILABLE);
}

TEST_F(ClassRegistry, UnknownOrBrokenRegistrationsFailCleanly) {
    CLSID found{};
    EXPECT_EQ(CLSIDFromProgID(u"No.Such.Class", &found), CO_E_CLASSSTRING);
    EXPECT_EQ(CLSIDFromProgID(u"", &found), CO_E_CLASSSTRING);
    EXPECT_EQ(CLSIDFromProgID(u"{not-a-guid}", &found), CO_E_CLASSSTRING);
    EXPECT_EQ(CLSIDFromProgID(nullptr, &found), E_INVALIDARG);
    ASSERT_EQ(CLSIDFromProgID(u"{6E0A4B31-1F0E-4C55-9A43-000000000002}", &found), S_OK);
    EXPECT_EQ(found, kCounterClass);

    CComPtr<IUnknown> obj;
    EXPECT_EQ(
        CoCreateInstance(kCounterClass, nullptr, CLSCTX_ALL, IUnknown::kIID, reinterpret_cast<void**>(&obj)),
        REGDB_E_CLASSNOTREG);
    SetDefault(u"CLSID\\" + zyn::com::GuidToString(kCounterClass) + u"\\InprocServer32",
               u"/nonexistent/libnone.so");
    EXPECT_EQ(
        CoCreateInstance(kCounterClass, nullptr, CLSCTX_ALL, IUnknown::kIID, reinterpret_cast<void**>(&obj)),
        CO_E_DLLNOTFOUND);
    EXPECT_EQ(obj.p, nullptr);
}

TEST_F(ClassRegistry, ProcessFactoriesComeFirstAndCanBeRevoked) {
    auto factory = zyn::com::MakeObject<zyn::com::ClassFactory<CLocal>>();
    DWORD cookie = 0;
    ASSERT_EQ(CoRegisterClassObject(kLocalClass, factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie),
              S_OK);
    CComPtr<ICounter> local;
    ASSERT_EQ(
        CoCreateInstance(kLocalClass, nullptr, CLSCTX_ALL, ICounter::kIID, reinterpret_cast<void**>(&local)),
        S_OK);
    EXPECT_EQ(local->Next(), 100);
    CComPtr<IUnknown> aggregated;
    EXPECT_EQ(CoCreateInstance(kLocalClass, local, CLSCTX_ALL, IUnknown::kIID,
                               reinterpret_cast<void**>(&aggregated)),
              CLASS_E_NOAGGREGATION);
    ASSERT_EQ(CoRevokeClassObject(cookie), S_OK);
    EXPECT_EQ(CoRevokeClassObject(cookie), E_INVALIDARG);
    CComPtr<ICounter> gone;
    EXPECT_EQ(
        CoCreateInstance(kLocalClass, nullptr, CLSCTX_ALL, ICounter::kIID, reinterpret_cast<void**>(&gone)),
        REGDB_E_CLASSNOTREG);
}

} // namespace
