#pragma once
// The chart as comma-separated text: a header line "Time,<channel names>" and one line per
// distinct sample time of any channel, oldest first, with each channel's value at that time.

#include "objlib/ZynInterfaces.h"

#include <string>

namespace zyn::csv {

// Appends a field, quoted as RFC 4180 asks when it holds a comma, a quote or a line break, so
// that the text reads back with the same fields.
void AppendField(std::string& out, std::string_view field);

// Appends a value as "%lf" prints it in the C locale (six decimals, '.' as decimal mark).
void AppendValue(std::string& out, double value);

// The CSV text of all channels of `chart` (UTF-8, lines ended by CR LF), written under one chart
// lock. False when the chart cannot be locked or has no samples at all.
[[nodiscard]] bool WriteChartCsv(IZynChart* chart, std::string& out);

// Writes the CSV file (through a temporary file, so a failure keeps the previous one) and names
// the chart after the file. False when the chart has no samples or the file cannot be written.
[[nodiscard]] bool SaveCsv(const std::string& path, IZynChart* chart);

} // namespace zyn::csv
