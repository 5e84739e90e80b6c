#pragma once
// Where every part of a report goes on a page or a screen, and drawing it: each section a shaded
// box with a darker title band, its rows as label and value columns joined by a dotted leader (or
// one full-width text), deeper sections indented below their parent. Laying out is apart from
// drawing, so a screen lays out once and paints only what an update exposes; the same code paginates
// and prints, with every size in device units of the target.

#include "ReportTree.h"
#include "display/ChartSettings.h"

#include <QFont>
#include <QLine>
#include <QRect>

#include <vector>

class QPainter;

// Shift amounts of the title band and the box colours; "ReportBk1" and "ReportBk2" under the user
// settings key replace them when they lie in 1..254.
struct ReportShades {
    int titleBand = 64;
    int box = 32;
    static ReportShades FromRegistry();
};

// The look of a report on one target.
struct ReportStyle {
    QFont font;         // the report font at the target's resolution
    ZynLogFont logFont; // its description, for sections of other sizes
    int dpiY = 96;      // the target's vertical resolution
    COLORREF background = 0xFFFFFF;
    COLORREF text = 0;
    ReportShades shades;

    // From a settings record (its report font is created when missing).
    static ReportStyle FromSettings(ChartSettings& settings, int dpiY, ReportShades shades);
    // The report font at `percent` of its size (the font itself at 100).
    QFont FontAt(int percent) const;
};

struct ReportRowBox {
    const CReportRow* row = nullptr;
    QFont font;
    QRect label;  // where the label (or the full-width text) is drawn
    QRect value;  // empty without a value
    QLine leader; // null without a leader
    int textFlags = 0;
};

struct ReportSectionBox {
    const CReportSection* section = nullptr;
    QFont titleFont;
    QRect box;  // the shaded box, outlined
    QRect band; // the title band at its top
    QRect title;
    std::vector<ReportRowBox> rows;
};

struct ReportLayout {
    std::vector<ReportSectionBox> sections; // in drawing order
    int height = 0;                         // from the rectangle's top to below the last box
};

// Lays out the sections of `root` in `rect` with the painter's metrics. With `page` > 0 only the
// sections paginated onto that page are placed (their children are still visited).
ReportLayout LayoutReport(QPainter& painter, const QRect& rect, const CReportSection& root,
                          const ReportStyle& style, int page = 0);
// Draws what lies in `clip` (everything when empty).
void DrawReport(QPainter& painter, const ReportLayout& layout, const ReportStyle& style,
                const QRect& clip = {});

// Gives every section a page of `pageRect`: a top-level section always starts a page, a deeper one
// when its box would not end on the current page. Returns the page count.
int PaginateReport(QPainter& painter, const QRect& pageRect, CReportSection& root, const ReportStyle& style);
