// A minimal in-process server library for the class registry tests: one class, found through
// DllGetClassObject after a dlopen, counting its live objects.

#include "test_server.h"
#include "com/classregistry.h"

#include <atomic>

namespace {

using zyn::com::testing::ICounter;
using zyn::com::testing::kCounterClass;

class CCounter final : public zyn::com::ComRefCount, public ICounter {
public:
    ZYN_COM_IUNKNOWN(CCounter, ICounter)
    LONG Next() override { return ++m_value; }

private:
    LONG m_value = 0;
};

} // namespace

extern "C" HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (clsid != kCounterClass) return CLASS_E_CLASSNOTAVAILABLE;
    auto factory = zyn::com::MakeObject<zyn::com::ClassFactory<CCounter>>();
    return factory->QueryInterface(iid, out);
}
