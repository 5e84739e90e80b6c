#include "ZynModule.h"

#include "ZynChannel.h"
#include "ZynChart.h"
#include "ZynEvent.h"
#include "ZynIterators.h"
#include "ZynObjFactory.h"
#include "ZynUtilsObj.h"

#include "com/bstr.h"

#include <dlfcn.h>

#include <iterator>

namespace zyn::obj {
namespace {

template <class T> HRESULT Create(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    CComPtr<T> obj(new (std::nothrow) T());
    if (!obj) return E_OUTOFMEMORY;
    return obj->QueryInterface(iid, out);
}

// Classes whose construction goes through their own Create().
template <class T> HRESULT CreateVia(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    CComPtr<T> obj = T::Create();
    if (!obj) return E_OUTOFMEMORY;
    return obj->QueryInterface(iid, out);
}

// A class factory that hands each request to the class's creator.
class CZynClassFactory final : public zyn::com::ComRefCount, public IClassFactory {
public:
    explicit CZynClassFactory(ObjectCreator create) : m_create(create) {}
    ZYN_COM_IUNKNOWN(CZynClassFactory, IClassFactory)
    HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        return m_create(iid, out);
    }
    HRESULT LockServer(BOOL) override { return S_OK; }

private:
    ObjectCreator m_create;
};

} // namespace

// Loading the library names no thread: the loading thread is the host's (usually its main thread,
// whose name is the program's name in ps, top and \Process(name)). Only the threads the library
// starts itself carry its names.

// The implementation of each class the type library lets clients create.
namespace creators {
HRESULT Channel(REFIID iid, void** out) {
    return CreateVia<CZynChannel>(iid, out);
}
HRESULT ZynObjFactory(REFIID iid, void** out) {
    return Create<CZynObjFactory>(iid, out);
}
HRESULT Chart(REFIID iid, void** out) {
    return CreateVia<CZynChart>(iid, out);
}
HRESULT Utils(REFIID iid, void** out) {
    return Create<CZynUtilsObj>(iid, out);
}
HRESULT Event(REFIID iid, void** out) {
    return Create<CZynEvent>(iid, out);
}
HRESULT EventIter(REFIID iid, void** out) {
    return Create<CZynEventIter>(iid, out);
}
} // namespace creators

std::u16string ModulePath() {
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void*>(&DllGetClassObject), &info) || !info.dli_fname) return {};
    return zyn::com::Utf8ToUtf16(info.dli_fname);
}

} // namespace zyn::obj

extern "C" HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    zyn::obj::ObjectCreator create = zyn::obj::CreatorFor(clsid);
    if (!create) return CLASS_E_CLASSNOTAVAILABLE;
    CComPtr<IClassFactory> factory(new (std::nothrow) zyn::obj::CZynClassFactory(create));
    if (!factory) return E_OUTOFMEMORY;
    return factory->QueryInterface(iid, out);
}

// Objects of this library are counted with every other object of the process: unloading is safe
// only when none is alive anywhere, which is the conservative answer.
extern "C" HRESULT DllCanUnloadNow() {
    return zyn::com::LiveObjectCount() == 0 ? S_OK : S_FALSE;
}

extern "C" HRESULT DllRegisterServer() {
    std::u16string path = zyn::obj::ModulePath();
    if (path.empty()) return SELFREG_E_CLASS;
    return zyn::obj::RegisterClasses(path);
}

extern "C" HRESULT DllUnregisterServer() {
    return zyn::obj::UnregisterClasses();
}
