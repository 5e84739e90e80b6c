#include "ReportPrint.h"

#include "ReportTemplate.h"
#include "display/ChartColours.h"
#include "display/ChartFonts.h"
#include "display/ChartSettings.h"
#include "display/Watermark.h"
#include "resources/ZynStrings.h"

#include <QFontMetrics>
#include <QImage>
#include <QPagedPaintDevice>
#include <QPainter>

#include <algorithm>

namespace {

// "Page %d of %d"
constexpr int kPageNumberText = 50128;
constexpr int kWatermarkPoints = 24;

QString PageNumberText(int page, int pages) {
    QString text = LoadZynString(kPageNumberText);
    // The numbers go in order; what they bring in is not read again.
    const qsizetype first = text.indexOf(QStringLiteral("%d"));
    if (first < 0) return text;
    const QString a = QString::number(page);
    text.replace(first, 2, a);
    const qsizetype second = text.indexOf(QStringLiteral("%d"), first + a.size());
    if (second >= 0) text.replace(second, 2, QString::number(pages));
    return text;
}

// The page's own copy of the settings: printer colours and fonts never reach the screen.
struct PaperSettings {
    PaperSettings(const ChartSettings& settings, const QPaintDevice& device) {
        CopySettings(paper, settings);
        AdaptForPrinter(paper, device);
    }
    ~PaperSettings() { ReleaseFonts(paper); }
    ChartSettings paper;
};

QRect PageRect(const QPaintDevice& device) {
    return QRect(0, 0, device.width(), device.height());
}

bool PageNumbers(const ChartSettings& settings) {
    return (settings.reportFieldMasks[kMaskSummary] & kPageNumbersBit) != 0;
}

} // namespace

// A foot of a line and a half, so that no box runs under the page number.
QRect ReportBodyRect(const QRect& page, const ReportStyle& style, const QPaintDevice& device,
                     bool pageNumbers) {
    if (!pageNumbers) return page;
    const int foot = QFontMetrics(style.font, &device).height() * 3 / 2;
    return page.adjusted(0, 0, 0, -foot);
}

void DrawReportPage(QPainter& painter, const QRect& page, const QRect& body, const CReportSection& root,
                    const ReportStyle& style, int pageNumber, int pageCount, bool pageNumbers) {
    painter.save();
    painter.setBackgroundMode(Qt::TransparentMode);
    DrawReport(painter, LayoutReport(painter, body, root, style, pageNumber), style);
    DrawWatermark(painter, page.right(), page.bottom(), kWatermarkPoints, ContrastShift(0xFFFFFF, 30));
    if (pageNumbers) {
        painter.setFont(style.font);
        painter.setPen(ToQColor(style.text));
        painter.drawText(page, Qt::AlignHCenter | Qt::AlignBottom | Qt::TextSingleLine,
                         PageNumberText(pageNumber, pageCount));
    }
    painter.restore();
}

void ApplyReportOrientation(QPagedPaintDevice& device, const ChartSettings& settings) {
    if (settings.reportPrintOrientation == 0)
        device.setPageOrientation(QPageLayout::Landscape);
    else if (settings.reportPrintOrientation == 1)
        device.setPageOrientation(QPageLayout::Portrait);
}

int PaginateReportFor(QPagedPaintDevice& device, CReportSection& root, const ChartSettings& settings,
                      ReportShades shades) {
    ApplyReportOrientation(device, settings);
    PaperSettings paper(settings, device);
    const ReportStyle style = ReportStyle::FromSettings(paper.paper, device.logicalDpiY(), shades);
    // Measured with the device's own metrics, without starting a print job.
    QImage probe(1, 1, QImage::Format_RGB32);
    probe.setDotsPerMeterX(int(device.logicalDpiX() / 0.0254 + 0.5));
    probe.setDotsPerMeterY(int(device.logicalDpiY() / 0.0254 + 0.5));
    QPainter painter(&probe);
    return PaginateReport(painter, ReportBodyRect(PageRect(device), style, device, PageNumbers(settings)),
                          root, style);
}

int PrintReport(QPagedPaintDevice& device, CReportSection& root, const ChartSettings& settings,
                ReportShades shades, ReportPrintRange range, int* pageCount) {
    ApplyReportOrientation(device, settings);
    PaperSettings paper(settings, device);
    QPainter painter;
    if (!painter.begin(&device)) return -1;
    const ReportStyle style = ReportStyle::FromSettings(paper.paper, painter.device()->logicalDpiY(), shades);
    const bool numbers = PageNumbers(settings);
    const QRect page = PageRect(device);
    const QRect body = ReportBodyRect(page, style, device, numbers);
    const int pages = std::max(1, PaginateReport(painter, body, root, style));
    if (pageCount) *pageCount = pages;
    const int first = std::clamp(range.first, 1, pages);
    const int last = range.last > 0 ? std::clamp(range.last, first, pages) : pages;
    for (int p = first; p <= last; ++p) {
        if (p > first) device.newPage();
        DrawReportPage(painter, page, body, root, style, p, pages, numbers);
    }
    painter.end();
    return last - first + 1;
}
