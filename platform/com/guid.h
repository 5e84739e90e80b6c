#pragma once
// Globally unique identifiers: interface, class and library ids, and the identifiers that the
// system stamps on charts, channels and events.

#include "hresult.h"

#include <optional>
#include <string>

struct GUID {
    std::uint32_t Data1 = 0;
    std::uint16_t Data2 = 0;
    std::uint16_t Data3 = 0;
    std::uint8_t Data4[8] = {};

    friend constexpr bool operator==(const GUID& a, const GUID& b) {
        if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
        for (int i = 0; i < 8; ++i)
            if (a.Data4[i] != b.Data4[i]) return false;
        return true;
    }
};
using IID = GUID;
using CLSID = GUID;
using REFGUID = const GUID&;
using REFIID = const IID&;
using REFCLSID = const CLSID&;

inline constexpr GUID GUID_NULL{};

inline bool IsEqualGUID(REFGUID a, REFGUID b) {
    return a == b;
}
inline bool IsEqualIID(REFIID a, REFIID b) {
    return a == b;
}
inline bool IsEqualCLSID(REFCLSID a, REFCLSID b) {
    return a == b;
}

namespace zyn::com {

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" in upper case, the form the registry keeps.
std::u16string GuidToString(const GUID& g);
std::string GuidToUtf8(const GUID& g);
// Accepts the braced registry form, with or without braces, any letter case.
std::optional<GUID> GuidFromString(std::u16string_view text);
std::optional<GUID> GuidFromUtf8(std::string_view text);

// Builds a GUID at compile time from its registry form without braces.
consteval GUID MakeGuid(const char (&s)[37]) {
    auto hex = [](char c) -> std::uint32_t {
        return c >= '0' && c <= '9'   ? std::uint32_t(c - '0')
               : c >= 'a' && c <= 'f' ? std::uint32_t(c - 'a' + 10)
                                      : std::uint32_t(c - 'A' + 10);
    };
    auto field = [&](int at, int digits) {
        std::uint32_t v = 0;
        for (int i = 0; i < digits; ++i)
            v = (v << 4) | hex(s[at + i]);
        return v;
    };
    GUID g;
    g.Data1 = field(0, 8);
    g.Data2 = static_cast<std::uint16_t>(field(9, 4));
    g.Data3 = static_cast<std::uint16_t>(field(14, 4));
    g.Data4[0] = static_cast<std::uint8_t>(field(19, 2));
    g.Data4[1] = static_cast<std::uint8_t>(field(21, 2));
    for (int i = 0; i < 6; ++i)
        g.Data4[2 + i] = static_cast<std::uint8_t>(field(24 + 2 * i, 2));
    return g;
}

} // namespace zyn::com

// A new random (version 4) GUID from the kernel's generator; fails only if that does.
HRESULT CoCreateGuid(GUID* out);
