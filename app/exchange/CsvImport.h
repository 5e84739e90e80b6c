#pragma once
// Comma-separated text into a chart: every column but the time column becomes a static channel.
// The first line names the channels when two or more of its fields hold a letter; the time column
// is the first field of the second line that holds a ':'.

#include "com/unknown.h"
#include "objlib/ZynInterfaces.h"

#include <string>
#include <string_view>
#include <vector>

namespace zyn::csv {

inline constexpr int kMaxColumns = 30; // a first line of this many fields or more is refused

// The channel colours of a new chart, by the channel's position modulo 10 (0x00BBGGRR).
inline constexpr std::uint32_t kDefaultChannelColours[10] = {
    0x0000FF, 0x00FF00, 0x00FFFF, 0xFFFF00, 0xFF00FF, 0x008CFF, 0x808000, 0x9314FF, 0x8FBC8F, 0xFF0000};

// Splits one line at commas. A field that starts with '"' runs to its closing quote, with ""
// standing for one quote (as the writer quotes names). Fields are trimmed. At most `limit` fields.
void SplitFields(std::u16string_view line, std::vector<std::u16string>& fields, std::size_t limit = SIZE_MAX);

struct ImportOptions {
    double today = -1.0; // the day times without a date move to; < 0: the current day
};

// Creates static channels in `chart` from the text; true when at least two rows were read (the
// header counts as one). A text that fails leaves the chart as it was; so does one with a row
// further than a channel's times reach from the first (about 24.8 days).
[[nodiscard]] bool ImportText(IZynChart* chart, std::u16string_view text, const ImportOptions& options = {},
                              std::vector<CComPtr<IZynChannel>>* created = nullptr);

// Reads a CSV file (`path` is bytes) and imports it. False, with the reason, when the file cannot be
// read (anything but a regular file is refused without waiting on it) or the import fails.
[[nodiscard]] bool LoadCsv(const std::string& path, IZynChart* chart, std::string* error = nullptr);

} // namespace zyn::csv
