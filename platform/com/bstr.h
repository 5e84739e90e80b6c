#pragma once
// BSTR: a length-prefixed UTF-16 string owned by the automation heap. The 32-bit byte length sits
// just before the characters and a zero unit follows them; a null BSTR means the empty string.

#include "wintypes.h"

#include <string>
#include <string_view>

BSTR SysAllocString(const OLECHAR* s);
BSTR SysAllocStringLen(const OLECHAR* s, UINT length);      // s may be null: zero-filled
BSTR SysAllocStringByteLen(const char* s, UINT byteLength); // s may be null: zero-filled
BOOL SysReAllocString(BSTR* target, const OLECHAR* s);
BOOL SysReAllocStringLen(BSTR* target, const OLECHAR* s, UINT length);
void SysFreeString(BSTR s);
UINT SysStringLen(BSTR s);
UINT SysStringByteLen(BSTR s);

namespace zyn::com {

// Length of a zero-terminated UTF-16 string (0 for null).
std::size_t StrLen16(const char16_t* s);

// UTF-8 <-> UTF-16. Invalid sequences become U+FFFD rather than failing: text from files and
// scripts is shown, never trusted.
std::u16string Utf8ToUtf16(std::string_view s);
std::string Utf16ToUtf8(std::u16string_view s);

BSTR AllocBstr(std::u16string_view s);
BSTR AllocBstrUtf8(std::string_view s);
inline std::u16string_view BstrView(BSTR s) {
    return s ? std::u16string_view(s, SysStringLen(s)) : std::u16string_view();
}

} // namespace zyn::com
