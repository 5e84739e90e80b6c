#pragma once
// Between Qt's strings and the object model's. Both are UTF-16, so these copy and never recode; a
// BSTR keeps its whole length (embedded zeros too) and a null one reads as empty.

#include "com/ccombstr.h"

#include <QString>

#include <string>
#include <string_view>

inline QString ToQString(std::u16string_view s) {
    return QString::fromUtf16(s.data(), qsizetype(s.size()));
}

inline QString FromBstr(BSTR b) {
    return ToQString(zyn::com::BstrView(b));
}

// Valid while `s` lives unchanged.
inline std::u16string_view U16View(const QString& s) {
    return {reinterpret_cast<const char16_t*>(s.utf16()), std::size_t(s.size())};
}

inline CComBSTR ToBstr(const QString& s) {
    return CComBSTR(U16View(s));
}
