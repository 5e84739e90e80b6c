#pragma once
// A chart's report written to a file without a window, in the form its name asks for: ".txt" the
// copied text (UTF-8), ".pdf" the printed report (every page, A4, page numbers as the summary mask
// says), ".html" a small web page of the same tree. The file is written through the safe saver:
// the previous one is replaced only when the new one is complete. Used by
// `Tallon --export-report CHART.tlon OUT`.

#include <QString>

#include <string>
#include <vector>

class CTallonChart;

enum class ReportFileKind { Text, Pdf, Html, Unknown };

// By the extension, in any case; `path` is bytes, as the file system spells the name.
ReportFileKind ReportFileKindOf(const std::string& path);

// Builds the document's report and writes it to `path` (bytes); false with `error` saying why
// (naming the file). `notes` gets what the user should know of a write that worked (a hard link
// split).
[[nodiscard]] bool ExportReport(CTallonChart& doc, const std::string& path, QString* error = nullptr,
                                std::vector<std::string>* notes = nullptr);
