#include "guid.h"

#include <sys/random.h>

#include <cerrno>
#include <cstdio>

namespace zyn::com {
namespace {

template <class Char> std::basic_string<Char> Format(const GUID& g) {
    char text[40];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", unsigned(g.Data1),
                  unsigned(g.Data2), unsigned(g.Data3), g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3],
                  g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return std::basic_string<Char>(text, text + 38);
}

int HexValue(char32_t c) {
    if (c >= '0' && c <= '9') return int(c - '0');
    if (c >= 'a' && c <= 'f') return int(c - 'a' + 10);
    if (c >= 'A' && c <= 'F') return int(c - 'A' + 10);
    return -1;
}

template <class Char> std::optional<GUID> Parse(std::basic_string_view<Char> t) {
    if (t.size() == 38) {
        if (t.front() != Char('{') || t.back() != Char('}')) return std::nullopt;
        t = t.substr(1, 36);
    }
    if (t.size() != 36) return std::nullopt;
    std::uint8_t bytes[16];
    int n = 0;
    for (std::size_t i = 0; i < 36;) {
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (t[i] != Char('-')) return std::nullopt;
            ++i;
            continue;
        }
        int hi = HexValue(char32_t(t[i])), lo = HexValue(char32_t(t[i + 1]));
        if (hi < 0 || lo < 0) return std::nullopt;
        bytes[n++] = static_cast<std::uint8_t>(hi << 4 | lo);
        i += 2;
    }
    GUID g;
    g.Data1 = std::uint32_t(bytes[0]) << 24 | std::uint32_t(bytes[1]) << 16 | std::uint32_t(bytes[2]) << 8 |
              bytes[3];
    g.Data2 = static_cast<std::uint16_t>(bytes[4] << 8 | bytes[5]);
    g.Data3 = static_cast<std::uint16_t>(bytes[6] << 8 | bytes[7]);
    for (int i = 0; i < 8; ++i)
        g.Data4[i] = bytes[8 + i];
    return g;
}

} // namespace

std::u16string GuidToString(const GUID& g) {
    return Format<char16_t>(g);
}
std::string GuidToUtf8(const GUID& g) {
    return Format<char>(g);
}
std::optional<GUID> GuidFromString(std::u16string_view text) {
    return Parse(text);
}
std::optional<GUID> GuidFromUtf8(std::string_view text) {
    return Parse(text);
}

} // namespace zyn::com

HRESULT CoCreateGuid(GUID* out) {
    if (!out) return E_POINTER;
    std::uint8_t b[16];
    std::size_t got = 0;
    while (got < sizeof b) {
        ssize_t n = getrandom(b + got, sizeof b - got, 0);
        if (n < 0) {
            if (errno == EINTR) continue;
            return E_FAIL;
        }
        got += std::size_t(n);
    }
    b[6] = static_cast<std::uint8_t>((b[6] & 0x0F) | 0x40); // version 4
    b[8] = static_cast<std::uint8_t>((b[8] & 0x3F) | 0x80); // RFC 4122 variant
    out->Data1 = std::uint32_t(b[0]) << 24 | std::uint32_t(b[1]) << 16 | std::uint32_t(b[2]) << 8 | b[3];
    out->Data2 = static_cast<std::uint16_t>(b[4] << 8 | b[5]);
    out->Data3 = static_cast<std::uint16_t>(b[6] << 8 | b[7]);
    for (int i = 0; i < 8; ++i)
        out->Data4[i] = b[8 + i];
    return S_OK;
}
