#pragma once
// The library's message and name texts: printf-style formatting of the fixed error texts, and the
// "%ls-%d" rule by which charts, channels and filters get numbered names.

#include <string>
#include <string_view>

namespace zyn::obj {

[[nodiscard]] std::u16string FormatText(const char* format, ...) __attribute__((format(printf, 1, 2)));
[[nodiscard]] std::u16string NumberedName(std::u16string_view name, long number);

} // namespace zyn::obj
