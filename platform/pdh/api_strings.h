#pragma once
// Strings crossing the C surface: caller texts read with a length cap, and result strings packed
// after a struct in the caller's buffer, as PDH stores them.

#include "pdh.h"

#include "com/bstr.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>

namespace zyn::pdh::detail {

// Caller texts longer than this are refused rather than scanned without end.
inline constexpr std::size_t kMaxArgumentChars = 32768;

inline std::optional<std::string> ArgumentText(LPCWSTR text) {
    if (!text) return std::nullopt;
    std::size_t n = 0;
    while (n < kMaxArgumentChars && text[n] != u'\0')
        ++n;
    if (n == kMaxArgumentChars) return std::nullopt;
    return zyn::com::Utf16ToUtf8(std::u16string_view(text, n));
}

// First Add every string to learn the size, then Begin on the buffer and Put them in the same order.
class CStringPacker {
public:
    explicit CStringPacker(std::size_t headerSize) : m_size(headerSize), m_header(headerSize) {}
    void Add(const std::u16string& s) { m_size += (s.size() + 1) * sizeof(char16_t); }
    [[nodiscard]] std::size_t Size() const { return m_size; }
    void Begin(char* buffer) { m_next = buffer + m_header; }
    LPWSTR Put(const std::u16string& s) {
        auto* out = reinterpret_cast<char16_t*>(m_next);
        std::memcpy(m_next, s.data(), s.size() * sizeof(char16_t));
        out[s.size()] = u'\0';
        m_next += (s.size() + 1) * sizeof(char16_t);
        return out;
    }

private:
    std::size_t m_size;
    std::size_t m_header;
    char* m_next = nullptr;
};

} // namespace zyn::pdh::detail
