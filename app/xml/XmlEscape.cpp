#include "XmlEscape.h"

namespace {

bool IsAsciiAlnum(char16_t c) {
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

int HexValue(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
}

} // namespace

std::u16string XmlEscape(std::u16string_view s) {
    static constexpr char16_t kDigits[] = u"0123456789abcdef";
    std::u16string out;
    out.reserve(s.size());
    for (char16_t c : s) {
        if (IsAsciiAlnum(c)) {
            out += c;
        } else if (c == u' ') {
            out += u'+';
        } else {
            out += u'%';
            if (c > 0xFFF) out += kDigits[(c >> 12) & 0xF];
            if (c > 0xFF) out += kDigits[(c >> 8) & 0xF];
            out += kDigits[(c >> 4) & 0xF];
            out += kDigits[c & 0xF];
        }
    }
    return out;
}

std::u16string XmlUnescape(std::u16string_view s) {
    std::u16string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        const char16_t c = s[i];
        if (c == u'+') {
            out += u' ';
            continue;
        }
        if (c == u'%' && i + 2 < s.size() && HexValue(s[i + 1]) >= 0 && HexValue(s[i + 2]) >= 0) {
            out += static_cast<char16_t>(HexValue(s[i + 1]) * 16 + HexValue(s[i + 2]));
            i += 2;
            continue;
        }
        out += c;
    }
    return out;
}
