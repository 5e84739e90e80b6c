#pragma once
// A report on paper (or in a PDF): the settings adapted to the device (printer-friendly colours,
// fonts at its resolution), every top-level section from a new page, deeper ones where they fit,
// the watermark in each page's corner and, unless the summary mask clears it, "Page n of m" at
// the foot.

#include "ReportLayout.h"
#include "ReportTree.h"

class QPagedPaintDevice;
class QPaintDevice;
class QPainter;
struct ChartSettings;

struct ReportPrintRange {
    int first = 1;
    int last = 0; // 0: to the end
};

// One paginated page: its sections within `body`, the watermark in the page's lower right corner
// and, with `pageNumbers`, "Page n of m" centred at its foot.
void DrawReportPage(QPainter& painter, const QRect& page, const QRect& body, const CReportSection& root,
                    const ReportStyle& style, int pageNumber, int pageCount, bool pageNumbers);
// The page less a foot for the page number when there is one, where the sections go.
QRect ReportBodyRect(const QRect& page, const ReportStyle& style, const QPaintDevice& device,
                     bool pageNumbers);

// Sets the device's orientation from the settings (0 landscape, 1 portrait, else the device's own).
void ApplyReportOrientation(QPagedPaintDevice& device, const ChartSettings& settings);
// The page count of the report on the device, its sections' pages set.
int PaginateReportFor(QPagedPaintDevice& device, CReportSection& root, const ChartSettings& settings,
                      ReportShades shades);
// Paginates and prints the pages of `range`; the number of pages printed, or -1 when the device
// cannot be painted on.
// `pageCount`, when given, receives the number of pages of the whole report.
int PrintReport(QPagedPaintDevice& device, CReportSection& root, const ChartSettings& settings,
                ReportShades shades, ReportPrintRange range = {}, int* pageCount = nullptr);
