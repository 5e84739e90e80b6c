#pragma once
// A chart's report written to a file without a window, in the form its name asks for: ".txt" the
// copied text (UTF-8), ".pdf" the printed report (every page, A4, page numbers as the summary mask
// says), ".html" a small web page of the same tree. The previous file is replaced only when the new
// one is complete. Used by `Tallon --export-report CHART.tlon OUT`.

#include <QString>

class CTallonChart;

enum class ReportFileKind { Text, Pdf, Html, Unknown };

// By the extension, in any case.
ReportFileKind ReportFileKindOf(const QString& path);

// Builds the document's report and writes it; false with `error` saying why (naming the file).
[[nodiscard]] bool ExportReport(CTallonChart& doc, const QString& path, QString* error = nullptr);
