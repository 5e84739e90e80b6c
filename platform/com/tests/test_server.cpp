// A minimal in-process server library for the class registry tests: one class, found through
// DllGetClassObject after a dlopen, counting its live objects.

#include "com/classregistry.h"

#include <atomic>

namespace {

struct ICounter : IUnknown {
    static constexpr IID kIID = zyn::com::MakeGuid("6E0A4B31-1F0E-4C55-9A43-000000000001");
    virtual LONG Next() = 0;

protected:
    ~ICounter() = default;
};

constexpr CLSID kCounterClass = zyn::com::MakeGuid("6E0A4B31-1F0E-4C55-9A43-000000000002");

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
