#pragma once
// Small allocation-free scanners for the text of /proc and /sys files.

#include <charconv>
#include <cstdint>
#include <string_view>

namespace zyn::pdh::detail {

// Splits text into lines.
class CLineReader {
public:
    explicit CLineReader(std::string_view text) : m_rest(text) {}
    bool Next(std::string_view& line) {
        if (m_rest.empty()) return false;
        const auto nl = m_rest.find('\n');
        line = m_rest.substr(0, nl);
        m_rest = nl == std::string_view::npos ? std::string_view{} : m_rest.substr(nl + 1);
        return true;
    }

private:
    std::string_view m_rest;
};

inline void SkipSpaces(std::string_view& s) {
    std::size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t'))
        ++i;
    s.remove_prefix(i);
}

// The next whitespace-separated word.
inline std::string_view NextWord(std::string_view& s) {
    SkipSpaces(s);
    std::size_t i = 0;
    while (i < s.size() && s[i] != ' ' && s[i] != '\t')
        ++i;
    const std::string_view word = s.substr(0, i);
    s.remove_prefix(i);
    return word;
}

// The next unsigned number after optional blanks; false (and s unchanged) when there is none.
inline bool NextU64(std::string_view& s, std::uint64_t& value) {
    std::string_view t = s;
    SkipSpaces(t);
    const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), value);
    if (ec != std::errc{}) return false;
    s = t.substr(static_cast<std::size_t>(end - t.data()));
    return true;
}

inline bool NextDouble(std::string_view& s, double& value) {
    std::string_view t = s;
    SkipSpaces(t);
    const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), value);
    if (ec != std::errc{}) return false;
    s = t.substr(static_cast<std::size_t>(end - t.data()));
    return true;
}

inline bool ParseU64(std::string_view s, std::uint64_t& value) {
    while (!s.empty() && (s.back() == '\n' || s.back() == ' '))
        s.remove_suffix(1);
    SkipSpaces(s);
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    return ec == std::errc{} && end == s.data() + s.size();
}

} // namespace zyn::pdh::detail
