#pragma once
// Texts between the option pages and the string properties of the object library's objects.

#include "com/ccombstr.h"
#include "objlib/ZynInterfaces.h"

#include <QString>

template <typename I> QString ChannelText(I* object, HRESULT (I::*getter)(BSTR*)) {
    CComBSTR text;
    if (!object || FAILED((object->*getter)(&text))) return {};
    const auto view = text.View();
    return QString::fromUtf16(view.data(), qsizetype(view.size()));
}

inline CComBSTR ToBstr(const QString& s) {
    return CComBSTR(std::u16string_view(reinterpret_cast<const char16_t*>(s.utf16()), std::size_t(s.size())));
}
