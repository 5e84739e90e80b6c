#pragma once
// Text helpers of the counter library: PDH's case-insensitive name matching, and the mapping of
// Linux names onto instance names free of PDH's reserved characters.

#include <string>
#include <string_view>

namespace zyn::pdh::detail {

// ASCII case folding only: counter and object names are ASCII; instance names compare byte-wise
// beyond ASCII.
bool EqualsNoCase(std::string_view a, std::string_view b);

// `(`→`[`, `)`→`]`, `/`→`!`, and `#`, `\`, `*`→`_`, so that any Linux name fits a counter path.
std::string MapInstanceName(std::string_view linuxName);

// The kernel writes blanks, tabs, newlines and backslashes of paths in /proc/self/mountinfo and
// /proc/swaps as three octal digits (`\040`); anything else after a backslash stands as it is.
std::string DecodeOctalEscapes(std::string_view text);

} // namespace zyn::pdh::detail
