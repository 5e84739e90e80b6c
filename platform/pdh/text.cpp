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

std::string DecodeOctalEscapes(std::string_view text) {
    auto octal = [](char c) { return c >= '0' && c <= '7'; };
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] >= '0' && text[i + 1] <= '3' &&
            octal(text[i + 2]) && octal(text[i + 3])) {
            out.push_back(
                static_cast<char>((text[i + 1] - '0') * 64 + (text[i + 2] - '0') * 8 + (text[i + 3] - '0')));
            i += 3;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

} // namespace zyn::pdh::detail
