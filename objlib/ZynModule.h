#pragma once
// The library as an in-process server: its exported entry points and the table of the classes
// clients may create.

#include "objlib/ZynInterfaces.h"

#include "com/classregistry.h"

extern "C" {
HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid, void** out);
HRESULT DllCanUnloadNow();
HRESULT DllRegisterServer();
HRESULT DllUnregisterServer();
}

namespace zyn::obj {

// Makes a new object of a creatable class and hands out `iid` on it.
using ObjectCreator = HRESULT (*)(REFIID iid, void** out);

struct CreatableClass {
    const CLSID* clsid;
    ObjectCreator create;
};

// The creator for a class id, or null when clients may not create it. The table behind it is
// generated from the type library: every class not marked noncreatable there, each with its
// creator `zyn::obj::creators::<class name>`, which this library defines.
ObjectCreator CreatorFor(const CLSID& clsid);

// Writes (or removes) the registry entries of every class and of the type library, naming
// `libraryPath` as the server. DllRegisterServer passes this library's own path.
HRESULT RegisterClasses(const std::u16string& libraryPath);
HRESULT UnregisterClasses();

// The file this library was loaded from.
std::u16string ModulePath();

} // namespace zyn::obj
