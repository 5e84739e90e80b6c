#pragma once
// CChartRenderer: paints one chart on any QPainter (widget, image, printer, PDF): value labels on
// the left, time labels below, the plot with frame, ticks and grid, one polyline per visible
// channel, event markers and a faint watermark. Geometry is in device units of the target, so
// the same code serves screen and paper. Layout (sizes and rectangles) is computed apart from
// drawing and cached until marked dirty.
//
// A view keeps one renderer, copies the zoom and time settings into it (CopyViewSettings), sets
// `scrollX` to its horizontal scroll position and calls Draw from its paint handler with its
// client rect as area and the region to repaint as update rect.

#include "AxisRuler.h"
#include "ChannelPlot.h"
#include "ChartRenderInput.h"
#include "EventMarkers.h"

#include <QRect>
#include <QSize>

#include <array>
#include <utility>

class QPainter;

class CChartRenderer {
public:
    // Spans of one plot width, shared with the zoom levels: 1 minute .. 15 days.
    static const std::array<double, 20>& SpanTable();
    // The first span-table entry >= span (the last when none is; entry 0 for span <= 0).
    static double SpanAtLeast(double span);

    // View state.
    double timeSpan = ChartSettings::kDefaultViewSpan;
    int timeMode = 1;
    int relativeTimeFormat = 1;
    int absoluteTimeFormat = 0;
    bool scrolling = false;    // hides the watermark while a scroll runs
    bool printingPage = false; // set while a print page is drawn
    double pageTimeOffset = 0.0;
    int scrollX = 0;                // horizontal scroll position in pixels
    QRect dataOnlyRect;             // a Draw whose update rect equals it draws only channels and markers
    bool reduceDenseWindows = true; // per-column reduction of windows with more samples than columns

    void CopyViewSettings(const ChartSettings& s);
    // A time span that is not positive (a record's "View all data") becomes the recorded range,
    // clamped to the span table.
    void ResolveAllDataSpan(const ChartRenderInput& in);
    void MarkLayoutDirty() { m_layoutDirty = true; }
    void ResetScrollWidth() { m_totalScrollWidth = 0; }
    bool LayoutDirty() const { return m_layoutDirty; }

    void Draw(QPainter& painter, const QRect& area, const QRect& update, const ChartRenderInput& in);
    void Layout(QPainter& painter, const QRect& client, const ChartRenderInput& in);

    double StartTime(const ChartRenderInput& in) const;
    double LastTime(const ChartRenderInput& in) const;
    // Also resets the cached scroll width (and asks for a full repaint) when it moves.
    double EndTime(const ChartRenderInput& in);
    int TotalScrollWidth(const ChartRenderInput& in);
    // True once after the end time moved: the view should repaint everything.
    bool TakeInvalidateAll() { return std::exchange(m_invalidateAll, false); }

    // The time under pixel column x of the target (the plot's own X map over the whole scroll
    // range, shifted by the scroll position), and one pixel's worth of time.
    double TimeAtX(int x, const ChartRenderInput& in);
    double TimePerPixel(const ChartRenderInput& in);

    QString FormatTimeLabel(double t) const;
    QString FormatValueLabel(double v, const ChartRenderInput& in) const;

    // Layout results.
    QRect PlotRect() const { return m_plot; }
    QRect ValueLabelColumn() const { return m_valueColumn; }
    QRect TimeLabelBand() const { return m_timeBand; }
    QSize TimeLabelSize() const { return m_timeLabel; }
    int MinorTickLength() const { return m_minorTick; }
    // The view keeps this for its scroll margins and the watermark position.
    int MajorTickLength() const { return m_majorTick; }
    int ScrollWidth() const { return std::max(0, m_totalScrollWidth); }
    // From the last paint.
    QRect WatermarkRect() const { return m_watermark; }
    const std::vector<EventMarker>& Markers() const { return m_markers; }
    const AxisRuler& TimeRuler() const { return m_timeRuler; }
    const AxisRuler& ValueRuler() const { return m_valueRuler; }

    // Event marker layout exactly as painted, for hit tests on a target like `painter`'s.
    std::vector<EventMarker> LayoutMarkers(QPainter& painter, const ChartRenderInput& in);

private:
    void DrawWatermark(QPainter& painter, const QRect& area, const ChartSettings& s);
    void DrawTimeAxis(QPainter& painter, const QRect& area, const ChartRenderInput& in);
    void DrawValueAxis(QPainter& painter, const ChartRenderInput& in);
    void DrawFrame(QPainter& painter, const ChartSettings& s);
    void DrawChannels(QPainter& painter, const QRect& update, const ChartRenderInput& in);
    void DrawMarkers(QPainter& painter, const QRect& update, const ChartRenderInput& in);
    QFont MarkerFont(QPainter& painter, const ChartRenderInput& in) const;
    void ComputeTickLengths(const ChartSettings& s);

    bool m_layoutDirty = true;
    QRect m_laidOutFor;
    QSize m_timeLabel, m_valueLabel;
    QRect m_valueColumn, m_timeBand, m_plot;
    int m_minorTick = 0, m_majorTick = 0;
    double m_endTime = 0.0;
    int m_totalScrollWidth = 0;
    bool m_invalidateAll = false;
    QRect m_watermark;
    std::vector<EventMarker> m_markers;
    AxisRuler m_timeRuler, m_valueRuler;
    ChannelSummaryCache m_summaries;
    ChannelBuffers m_buffers;
    std::vector<QPoint> m_points;
};
