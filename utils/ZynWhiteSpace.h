#pragma once
// White space as the C locale's isspace sees it (space, \t, \n, \v, \f, \r), for the readers of
// typed and stored text, in narrow and in UTF-16 strings alike.

#include <string_view>

template <class Char> constexpr bool IsAsciiSpace(Char c) {
    return c == Char(' ') || (c >= Char('\t') && c <= Char('\r'));
}

namespace zyn::detail {
template <class View> constexpr View TrimAsciiSpaceOf(View s) {
    while (!s.empty() && IsAsciiSpace(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsAsciiSpace(s.back()))
        s.remove_suffix(1);
    return s;
}
} // namespace zyn::detail

// Overloads rather than one template, so that strings convert to their views at the call.
constexpr std::string_view TrimAsciiSpace(std::string_view s) {
    return zyn::detail::TrimAsciiSpaceOf(s);
}
constexpr std::u16string_view TrimAsciiSpace(std::u16string_view s) {
    return zyn::detail::TrimAsciiSpaceOf(s);
}
