#pragma once
// Failures leave the library as an HRESULT with the thread's error object naming the raising class
// (by its ProgID) and carrying the message text.

#include "objlib/ZynInterfaces.h"

#include <string_view>

namespace zyn::obj {

// The class's ProgID from the type library's class table; empty for an unknown class.
std::u16string_view ProgIdOf(const CLSID& clsid);

// Publishes `text` with the class `source` as the error object and returns `hr`.
HRESULT RaiseError(const CLSID& source, HRESULT hr, std::u16string_view text);

} // namespace zyn::obj
