#include "bstr.h"

#include <cstdlib>
#include <cstring>
#include <limits>

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

std::u16string Utf8ToUtf16(std::string_view s) {
    std::u16string out;
    out.reserve(s.size());
    std::size_t i = 0;
    while (i < s.size()) {
        auto c = static_cast<unsigned char>(s[i]);
        char32_t cp;
        std::size_t extra;
        if (c < 0x80) {
            cp = c;
            extra = 0;
        } else if ((c & 0xE0) == 0xC0) {
            cp = c & 0x1F;
            extra = 1;
        } else if ((c & 0xF0) == 0xE0) {
            cp = c & 0x0F;
            extra = 2;
        } else if ((c & 0xF8) == 0xF0) {
            cp = c & 0x07;
            extra = 3;
        } else {
            out.push_back(u'\xFFFD');
            ++i;
            continue;
        }
        if (i + extra >= s.size()) { // truncated sequence at the end
            out.push_back(u'\xFFFD');
            break;
        }
        bool ok = true;
        for (std::size_t k = 1; k <= extra; ++k) {
            auto cc = static_cast<unsigned char>(s[i + k]);
            if ((cc & 0xC0) != 0x80) {
                ok = false;
                break;
            }
            cp = (cp << 6) | (cc & 0x3F);
        }
        static constexpr char32_t kMin[] = {0, 0x80, 0x800, 0x10000};
        if (!ok || cp < kMin[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            out.push_back(u'\xFFFD');
            ++i;
            continue;
        }
        i += extra + 1;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
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
