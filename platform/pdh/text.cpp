#include "text.h"

namespace zyn::pdh::detail {

static char FoldAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
    return true;
}

std::string MapInstanceName(std::string_view linuxName) {
    std::string out(linuxName);
    for (char& c : out) {
        switch (c) {
        case '(':
            c = '[';
            break;
        case ')':
            c = ']';
            break;
        case '/':
            c = '!';
            break;
        case '#':
        case '\\':
        case '*':
            c = '_';
            break;
        default:
            break;
        }
    }
    return out;
}

} // namespace zyn::pdh::detail
