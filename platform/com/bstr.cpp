#include "bstr.h"

#include <cstdlib>
#include <cstring>
#include <limits>
#include <optional>

namespace {

// The byte length lives in the 4 bytes before the characters; the block starts 4 bytes earlier.
constexpr std::size_t kPrefix = sizeof(std::uint32_t);
constexpr UINT kMaxBytes = std::numeric_limits<UINT>::max() - 16;

BSTR AllocBytes(const void* src, UINT byteLength) {
    if (byteLength > kMaxBytes) return nullptr;
    auto* block = static_cast<unsigned char*>(std::malloc(kPrefix + byteLength + sizeof(char16_t) + 1));
    if (!block) return nullptr;
    std::uint32_t len = byteLength;
    std::memcpy(block, &len, kPrefix);
    if (src)
        std::memcpy(block + kPrefix, src, byteLength);
    else
        std::memset(block + kPrefix, 0, byteLength);
    // Zero terminator (and one extra byte for odd byte lengths).
    std::memset(block + kPrefix + byteLength, 0, sizeof(char16_t) + 1);
    return reinterpret_cast<BSTR>(block + kPrefix);
}

unsigned char* BlockOf(BSTR s) {
    return reinterpret_cast<unsigned char*>(s) - kPrefix;
}

} // namespace

BSTR SysAllocString(const OLECHAR* s) {
    if (!s) return nullptr;
    return SysAllocStringLen(s, static_cast<UINT>(zyn::com::StrLen16(s)));
}

BSTR SysAllocStringLen(const OLECHAR* s, UINT length) {
    if (length > kMaxBytes / 2) return nullptr;
    return AllocBytes(s, length * UINT(sizeof(OLECHAR)));
}

BSTR SysAllocStringByteLen(const char* s, UINT byteLength) {
    return AllocBytes(s, byteLength);
}

BOOL SysReAllocString(BSTR* target, const OLECHAR* s) {
    return SysReAllocStringLen(target, s, s ? static_cast<UINT>(zyn::com::StrLen16(s)) : 0);
}

BOOL SysReAllocStringLen(BSTR* target, const OLECHAR* s, UINT length) {
    if (!target) return FALSE;
    BSTR fresh = SysAllocStringLen(s, length);
    if (!fresh) return FALSE;
    SysFreeString(*target);
    *target = fresh;
    return TRUE;
}

void SysFreeString(BSTR s) {
    if (s) std::free(BlockOf(s));
}

UINT SysStringByteLen(BSTR s) {
    if (!s) return 0;
    std::uint32_t len;
    std::memcpy(&len, BlockOf(s), kPrefix);
    return len;
}

UINT SysStringLen(BSTR s) {
    return SysStringByteLen(s) / UINT(sizeof(OLECHAR));
}

namespace zyn::com {

std::size_t StrLen16(const char16_t* s) {
    if (!s) return 0;
    std::size_t n = 0;
    while (s[n])
        ++n;
    return n;
}

namespace {

// The range the byte after a lead byte may take: narrower than 80..BF where a wider one would admit
// an overlong form (E0, F0), a surrogate (ED) or a code point above U+10FFFF (F4).
struct LeadByte {
    std::size_t extra; // continuation bytes that follow
    unsigned char secondLow, secondHigh;
};

std::optional<LeadByte> ClassifyLead(unsigned char c) {
    if (c >= 0xC2 && c <= 0xDF) return LeadByte{1, 0x80, 0xBF};
    if (c == 0xE0) return LeadByte{2, 0xA0, 0xBF};
    if (c == 0xED) return LeadByte{2, 0x80, 0x9F};
    if (c >= 0xE1 && c <= 0xEF) return LeadByte{2, 0x80, 0xBF};
    if (c == 0xF0) return LeadByte{3, 0x90, 0xBF};
    if (c == 0xF4) return LeadByte{3, 0x80, 0x8F};
    if (c >= 0xF1 && c <= 0xF3) return LeadByte{3, 0x80, 0xBF};
    return std::nullopt; // 80..C1 and F5..FF never start a character
}

void AppendUtf16(std::u16string& out, char32_t cp) {
    if (cp < 0x10000) {
        out.push_back(static_cast<char16_t>(cp));
        return;
    }
    cp -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
}

} // namespace

// A broken sequence becomes one U+FFFD for its longest valid-looking start (Unicode's "maximal
// subpart" practice, as Qt and browsers decode), and decoding resumes at the byte that broke it, so
// a truncated character never swallows the text after it.
std::u16string Utf8ToUtf16(std::string_view s) {
    std::u16string out;
    out.reserve(s.size());
    std::size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i++]);
        if (c < 0x80) {
            out.push_back(c);
            continue;
        }
        const std::optional<LeadByte> lead = ClassifyLead(c);
        if (!lead) {
            out.push_back(u'\xFFFD');
            continue;
        }
        char32_t cp = c & (0x3F >> lead->extra);
        std::size_t got = 0;
        for (; got < lead->extra && i < s.size(); ++got, ++i) {
            const auto cc = static_cast<unsigned char>(s[i]);
            const bool inRange =
                got == 0 ? cc >= lead->secondLow && cc <= lead->secondHigh : (cc & 0xC0) == 0x80;
            if (!inRange) break;
            cp = (cp << 6) | (cc & 0x3F);
        }
        if (got == lead->extra)
            AppendUtf16(out, cp);
        else
            out.push_back(u'\xFFFD');
    }
    return out;
}

std::string Utf16ToUtf8(std::u16string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        char32_t cp = s[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

BSTR AllocBstr(std::u16string_view s) {
    if (s.size() > std::numeric_limits<UINT>::max() / 4) return nullptr;
    return SysAllocStringLen(s.data(), static_cast<UINT>(s.size()));
}

BSTR AllocBstrUtf8(std::string_view s) {
    return AllocBstr(Utf8ToUtf16(s));
}

} // namespace zyn::com
