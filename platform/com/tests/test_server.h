#pragma once
// The interface and class id served by the test server library. Declared once, outside any
// anonymous namespace: the test and the library must agree on one type.

#include "com/unknown.h"

namespace zyn::com::testing {

struct ICounter : IUnknown {
    static constexpr IID kIID = MakeGuid("6E0A4B31-1F0E-4C55-9A43-000000000001");
    virtual LONG Next() = 0;

protected:
    ~ICounter() = default;
};

inline constexpr CLSID kCounterClass = MakeGuid("6E0A4B31-1F0E-4C55-9A43-000000000002");
// Registered by the library's DllRegisterServer, but not served by it (made inside, never by clients).
inline constexpr CLSID kHiddenClass = MakeGuid("6E0A4B31-1F0E-4C55-9A43-000000000004");

} // namespace zyn::com::testing
