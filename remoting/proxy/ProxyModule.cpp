// libZynAutomationProxy: the library registered as the proxy of IDispatch. The class registry
// loads it for classes served by programs of their own and asks its class object, the activator,
// for their class objects.

#include "CClassFactoryProxy.h"

extern "C" __attribute__((visibility("default"))) HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid,
                                                                            void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (clsid != CLSID_PSDispatch) return CLASS_E_CLASSNOTAVAILABLE;
    CComPtr<ILocalServerActivator> activator(new zyn::remoting::CLocalServerActivator());
    return activator->QueryInterface(iid, out);
}

extern "C" __attribute__((visibility("default"))) HRESULT DllCanUnloadNow() {
    // Proxies may be alive anywhere in the process; the library stays.
    return S_FALSE;
}
