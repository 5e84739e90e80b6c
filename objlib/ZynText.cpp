#include "ZynText.h"

#include "com/bstr.h"

#include <cstdarg>
#include <cstdio>

namespace zyn::obj {

std::u16string FormatText(const char* format, ...) {
    char buffer[512];
    va_list args;
    va_start(args, format);
    const int written = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (written < 0) return {};
    return com::Utf8ToUtf16(buffer);
}

std::u16string NumberedName(std::u16string_view name, long number) {
    std::u16string result(name);
    result += u'-';
    result += com::Utf8ToUtf16(std::to_string(number));
    return result;
}

} // namespace zyn::obj
