#pragma once
// The chart as comma-separated text: a header line "Time,<channel names>" and one line per
// distinct sample time of any channel, oldest first, with each channel's value at that time.

#include "objlib/ZynInterfaces.h"

#include <cstddef>
#include <string>
#include <vector>

namespace zyn::csv {

struct CsvOptions {
    // Times to the millisecond ("YYYY-MM-DD HH:MM:SS.mmm"), which the import reads back exactly;
    // by default the locale's time and date, to the second, as other programs expect the text.
    bool milliseconds = false;
};

// What an export did, for its message: why it failed, or what the user should know of a text that
// was written.
struct CsvReport {
    std::string error;                  // empty on success
    std::size_t rows = 0;               // data lines written
    std::size_t rowsSharingATime = 0;   // lines whose time text repeats the line before's
    std::vector<std::string> fileNotes; // what the saver said of the file (a split hard link)
};

// Appends a field, quoted as RFC 4180 asks when it holds a comma, a quote or a line break, so
// that the text reads back with the same fields.
void AppendField(std::string& out, std::string_view field);

// Appends a value as "%lf" prints it in the C locale (six decimals, '.' as decimal mark).
void AppendValue(std::string& out, double value);

// The CSV text of all channels of `chart` (UTF-8, lines ended by CR LF), written under one chart
// lock. False, with the reason in the report, when the chart cannot be locked, has no samples at
// all or has a sample time that is not a date (a text with empty times would lose them unseen).
[[nodiscard]] bool WriteChartCsv(IZynChart* chart, std::string& out, const CsvOptions& options = {},
                                 CsvReport* report = nullptr);

// The CSV text of one channel as it travels on the clipboard: "Time,<name>" and one line per
// sample, oldest first, with the locale's time of day (no date) and the value with six decimals;
// lines end in LF. A channel without samples gives the header alone. False (nothing written) when the
// channel's data cannot be read.
[[nodiscard]] bool WriteChannelCsv(IZynChannel* channel, std::string& out);

// Writes the CSV file through the safe saver (a failure keeps the previous file) and names the
// chart after the file. `path` is bytes. False, with the reason in the report, when the text
// cannot be made or the file cannot be written.
[[nodiscard]] bool SaveCsv(const std::string& path, IZynChart* chart, const CsvOptions& options = {},
                           CsvReport* report = nullptr);

} // namespace zyn::csv
