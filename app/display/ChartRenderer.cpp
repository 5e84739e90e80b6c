#include "ChartRenderer.h"

#include "Watermark.h"

#include "ChartColours.h"
#include "ChartFonts.h"
#include "DisplayFormat.h"
#include "LinearMap.h"

#include "utils/ZynTime.h"

#include <QPaintDevice>
#include <QPainter>
#include <QPolygon>
#include <QRegion>

#include <algorithm>
#include <climits>
#include <cmath>

namespace {

constexpr double kSecond = 1.0 / 86400;
constexpr double kMinute = 1.0 / 1440;
constexpr double kHour = 1.0 / 24;

// Distances between labelled time ticks, shortest first.
constexpr std::array<double, 21> kTimeSteps = {1 * kSecond,
                                               2 * kSecond,
                                               5 * kSecond,
                                               10 * kSecond,
                                               30 * kSecond,
                                               1 * kMinute,
                                               2 * kMinute,
                                               5 * kMinute,
                                               10 * kMinute,
                                               30 * kMinute,
                                               1 * kHour,
                                               2 * kHour,
                                               4 * kHour,
                                               6 * kHour,
                                               12 * kHour,
                                               1,
                                               2,
                                               3,
                                               4,
                                               5,
                                               7};

// Distances between labelled value ticks (there is no 50000).
constexpr std::array<double, 29> kValueSteps = {
    1,       2,        5,        10,       20,        25,        50,        100,        200,       500,
    1000,    2500,     5000,     10000,    25000,     100000,    250000,    500000,     1000000,   2500000,
    5000000, 10000000, 25000000, 50000000, 100000000, 250000000, 500000000, 1000000000, 2000000000};

template <std::size_t N> bool FitFirstStep(AxisRuler& ruler, const std::array<double, N>& steps) {
    return std::any_of(steps.begin(), steps.end(), [&](double s) { return ruler.FitsStep(s); });
}

int DpiY(const QPainter& painter) {
    return PainterDpiY(painter);
}

QPen GridPen(const ChartSettings& s) {
    return QPen(ToQColor(EffectiveGridColour(s)), 0, Qt::SolidLine);
}

} // namespace

const std::array<double, 20>& CChartRenderer::SpanTable() {
    static const std::array<double, 20> table = {1 * kMinute,
                                                 2 * kMinute,
                                                 3 * kMinute,
                                                 5 * kMinute,
                                                 10 * kMinute,
                                                 15 * kMinute,
                                                 20 * kMinute,
                                                 30 * kMinute,
                                                 1 * kHour,
                                                 2 * kHour,
                                                 4 * kHour,
                                                 8 * kHour,
                                                 12 * kHour,
                                                 1,
                                                 2,
                                                 3,
                                                 4,
                                                 5,
                                                 10,
                                                 15};
    return table;
}

double CChartRenderer::SpanAtLeast(double span) {
    const auto& table = SpanTable();
    if (!(span > 0)) return table.front();
    // Spans computed from dates near 45000 days carry rounding of some 1e-11 days; within a
    // millisecond of an entry they are that entry.
    constexpr double kTolerance = 1.0 / 86400000.0;
    const auto it =
        std::find_if(table.begin(), table.end(), [&](double e) { return e >= span - kTolerance; });
    return it == table.end() ? table.back() : *it;
}

void CChartRenderer::CopyViewSettings(const ChartSettings& s) {
    timeSpan = s.viewSpan;
    timeMode = int(s.timeMode);
    relativeTimeFormat = int(s.relativeTimeFormat);
    absoluteTimeFormat = int(s.absoluteTimeFormat);
    m_layoutDirty = true;
    m_totalScrollWidth = 0;
}

void CChartRenderer::ResolveAllDataSpan(const ChartRenderInput& in) {
    if (std::isfinite(timeSpan) && timeSpan > 0) return;
    const double all = LastTime(in) - StartTime(in);
    timeSpan = std::clamp(std::isfinite(all) ? all : 0.0, SpanTable().front(), SpanTable().back());
    m_layoutDirty = true;
    m_totalScrollWidth = 0;
}

double CChartRenderer::StartTime(const ChartRenderInput& in) const {
    if (in.windowStart > 0) return in.windowStart;
    if (in.chartStartTime > 0) return in.chartStartTime;
    return in.documentCreated;
}

double CChartRenderer::LastTime(const ChartRenderInput& in) const {
    if (in.windowEnd > 0) return in.windowEnd;
    const double start = StartTime(in);
    const double last = in.chartLastTime;
    if (last == 0 || !(last > start)) return start + kSecond;
    return last;
}

double CChartRenderer::EndTime(const ChartRenderInput& in) {
    const double start = StartTime(in);
    const double d = std::max(LastTime(in), start + kMinute) - start;
    const double span = std::isfinite(timeSpan) && timeSpan > 0 ? timeSpan : SpanTable().front();
    const double end = start + std::max(SpanAtLeast(d), span);
    if (end != m_endTime) {
        m_endTime = end;
        m_totalScrollWidth = 0;
        m_invalidateAll = true;
    }
    return end;
}

int CChartRenderer::TotalScrollWidth(const ChartRenderInput& in) {
    const double end = EndTime(in);
    if (m_totalScrollWidth == 0) {
        const double span = std::isfinite(timeSpan) && timeSpan > 0 ? timeSpan : SpanTable().front();
        const double w = std::trunc((end - StartTime(in)) / span * m_plot.width());
        m_totalScrollWidth = std::isfinite(w) ? int(std::clamp(w, 0.0, double(INT_MAX / 4))) : 0;
    }
    return m_totalScrollWidth;
}

double CChartRenderer::TimeAtX(int x, const ChartRenderInput& in) {
    LinearMap map;
    map.Setup(0, TotalScrollWidth(in), StartTime(in), EndTime(in));
    return map.Unmap(x - m_plot.left() + scrollX);
}

double CChartRenderer::TimePerPixel(const ChartRenderInput& in) {
    const int total = TotalScrollWidth(in);
    return total > 0 ? (EndTime(in) - StartTime(in)) / total : 0.0;
}

QString CChartRenderer::FormatTimeLabel(double t) const {
    if (timeMode == 1) return FormatDuration(t, relativeTimeFormat);
    SYSTEMTIME st{};
    if (!std::isfinite(t) || !DoubleToSysTime(t, &st)) return QString();
    if (absoluteTimeFormat == 1) return QString::asprintf("%d:%02d", int(st.wHour), int(st.wMinute));
    return QString::asprintf("%d:%02d:%02d", int(st.wHour), int(st.wMinute), int(st.wSecond));
}

QString CChartRenderer::FormatValueLabel(double v, const ChartRenderInput& in) const {
    if (in.selectedChannel >= 0 && std::size_t(in.selectedChannel) < in.channels.size())
        return FormatNumber(v);
    return QString::asprintf("%3.0f%%", v);
}

void CChartRenderer::ComputeTickLengths(const ChartSettings& s) {
    const int level = int(std::min<std::uint32_t>(s.TickSize, 3));
    m_minorTick = int(std::trunc(m_plot.height() * 0.01 * level * 0.65));
    m_majorTick = 2 * m_minorTick;
}

void CChartRenderer::Layout(QPainter& painter, const QRect& client, const ChartRenderInput& in) {
    if (!m_layoutDirty && client == m_laidOutFor) return;
    ChartSettings& s = *in.settings;
    const QFontMetrics metrics(ChartFont(s), painter.device());

    const QString timeSample = FormatTimeLabel(timeMode == 1 ? 10 * kMinute : GetTimeAsDouble());
    int w = metrics.horizontalAdvance(timeSample);
    switch (s.xGridSpacing) {
    case 0:
        w *= 2;
        break;
    case 1:
        w += w / 2;
        break;
    case 2:
        w += w / 3;
        break;
    default:
        break;
    }
    m_timeLabel = QSize(w, metrics.height());

    QString valueSample;
    if (in.selectedChannel >= 0 && std::size_t(in.selectedChannel) < in.channels.size()) {
        const ChartChannelView& c = in.channels[std::size_t(in.selectedChannel)];
        const QString lo = FormatValueLabel(c.scaleMin, in), hi = FormatValueLabel(c.scaleMax, in);
        valueSample = lo.size() > hi.size() ? lo : hi;
    } else {
        valueSample = FormatValueLabel(100.0, in);
    }
    valueSample += u' ';
    int h = metrics.height();
    switch (s.yGridSpacing) {
    case 0:
        h = h * 2 + h / 2;
        break;
    case 1:
        h *= 2;
        break;
    case 2:
        h += h / 2;
        break;
    default:
        break;
    }
    m_valueLabel = QSize(metrics.horizontalAdvance(valueSample), h);

    m_timeBand = QRect(client.left(), client.bottom() - m_timeLabel.height() + 1, client.width(),
                       m_timeLabel.height());
    m_valueColumn = QRect(QPoint(client.left(), client.top()),
                          QPoint(client.left() + m_valueLabel.width() - 1, m_timeBand.top() - 1));
    m_plot = QRect(QPoint(client.left() + m_valueLabel.width(), client.top()),
                   QPoint(client.right(), m_timeBand.top() - 1));
    ComputeTickLengths(s);
    m_laidOutFor = client;
    m_layoutDirty = false;
    m_totalScrollWidth = 0;
    TotalScrollWidth(in);
}

void CChartRenderer::Draw(QPainter& painter, const QRect& area, const QRect& update,
                          const ChartRenderInput& in) {
    if (!in.settings || area.width() <= 0 || area.height() <= 0) return;
    ChartSettings& s = *in.settings;
    const bool dataOnly = !dataOnlyRect.isEmpty() && update == dataOnlyRect;
    const QRect updateRect = update.isEmpty() ? area : update.intersected(area);

    painter.save();
    painter.setFont(ChartFont(s));
    if (!dataOnly) painter.fillRect(updateRect, ToQColor(s.ColorBackGround));
    Layout(painter, area, in);
    if (area.width() >= 2 * m_timeLabel.width() && area.height() >= 2 * m_timeLabel.height()) {
        if (!dataOnly) {
            if (!scrolling) DrawWatermark(painter, area, s);
            DrawTimeAxis(painter, area, in);
            DrawValueAxis(painter, in);
            DrawFrame(painter, s);
        }
        DrawChannels(painter, updateRect, in);
        DrawMarkers(painter, updateRect, in);
    }
    painter.restore();
    dataOnlyRect = QRect();
}

void CChartRenderer::DrawWatermark(QPainter& painter, const QRect& area, const ChartSettings& s) {
    const int points = std::clamp(std::clamp(std::min(area.width(), area.height()) / 10, 16, 30), 6, 60);
    const int right = m_plot.right() - m_majorTick;
    const int bottom = m_plot.bottom() - (printingPage ? m_majorTick : m_majorTick / 2);
    m_watermark = ::DrawWatermark(painter, right, bottom, points,
                                  ContrastShift(s.ColorBackGround, printingPage ? 30 : 16));
}

void CChartRenderer::DrawTimeAxis(QPainter& painter, const QRect& area, const ChartRenderInput& in) {
    const ChartSettings& s = *in.settings;
    const double start = StartTime(in), end = EndTime(in);
    const int total = std::max(TotalScrollWidth(in), m_plot.width());
    AxisRuler& r = m_timeRuler;
    r = AxisRuler();
    if (timeMode == 0) {
        r.minimum = start;
        r.maximum = end;
    } else {
        r.minimum = 0.0;
        r.maximum = end - start;
        if (printingPage) {
            r.minimum += pageTimeOffset;
            r.maximum += pageTimeOffset;
        }
    }
    r.minimumSpacing = m_timeLabel.width();
    // The axis runs along the whole scroll range, so labels stay with the data as it scrolls.
    r.axisLength = unsigned(total);
    r.labelCallback = [this](double t) { return FormatTimeLabel(t); };
    if (!FitFirstStep(r, kTimeSteps)) return;

    const QRect axis(m_plot.left() - scrollX, m_plot.top(), total, m_plot.height());
    // Labels may reach into the band below the value column, never into the column itself.
    r.visible = area;
    painter.save();
    painter.setClipRegion(QRegion(area).subtracted(QRegion(m_valueColumn)));
    painter.setPen(ToQColor(EffectiveTextColour(s)));
    r.Draw(painter, axis, RulerFlags::kLabelsBottom | RulerFlags::kEndsShifted | RulerFlags::kHFirstCentred);
    painter.setPen(GridPen(s));
    r.minorTickLength = s.XMinorTicks ? m_minorTick : 0;
    r.majorTickLength = s.XMajorTicks ? m_majorTick : 0;
    painter.setClipRect(m_plot);
    r.Draw(painter, axis,
           RulerFlags::kTicksTop | RulerFlags::kTicksBottom | (s.XGridLines ? RulerFlags::kGrid : 0));
    painter.restore();
}

void CChartRenderer::DrawValueAxis(QPainter& painter, const ChartRenderInput& in) {
    const ChartSettings& s = *in.settings;
    AxisRuler& r = m_valueRuler;
    r = AxisRuler();
    if (in.selectedChannel >= 0 && std::size_t(in.selectedChannel) < in.channels.size()) {
        const ChartChannelView& c = in.channels[std::size_t(in.selectedChannel)];
        r.minimum = c.scaleMin;
        r.maximum = c.scaleMax == c.scaleMin ? c.scaleMin + 1.0 : c.scaleMax;
    } else {
        r.minimum = 0.0;
        r.maximum = 100.0;
    }
    if (!std::isfinite(r.minimum) || !std::isfinite(r.maximum)) return;
    r.minimumSpacing = m_valueLabel.height();
    r.axisLength = unsigned(std::max(0, m_plot.height()));
    r.labelCallback = [this, &in](double v) { return FormatValueLabel(v, in); };
    if (!FitFirstStep(r, kValueSteps)) return;

    painter.save();
    painter.setPen(ToQColor(EffectiveTextColour(s)));
    const QRect column(m_valueColumn.left(), m_plot.top(), m_valueColumn.width(), m_plot.height());
    r.Draw(painter, column, RulerFlags::kLabelsLeft | RulerFlags::kEndsShifted);
    painter.setPen(GridPen(s));
    r.minorTickLength = s.YMinorTicks ? m_minorTick : 0;
    r.majorTickLength = s.YMajorTicks ? m_majorTick : 0;
    r.Draw(painter, m_plot,
           RulerFlags::kTicksLeft | RulerFlags::kTicksRight | (s.YGridLines ? RulerFlags::kGrid : 0));
    painter.restore();
}

void CChartRenderer::DrawFrame(QPainter& painter, const ChartSettings& s) {
    const QRect r = m_plot.adjusted(0, 0, 0, 1);
    const QPoint corners[] = {r.topLeft(), r.topRight(), r.bottomRight(), r.bottomLeft(), r.topLeft()};
    painter.save();
    painter.setPen(QPen(ToQColor(EffectiveGridColour(s)), 2, Qt::SolidLine));
    painter.drawPolyline(corners, 5);
    painter.restore();
}

void CChartRenderer::DrawChannels(QPainter& painter, const QRect& update, const ChartRenderInput& in) {
    const QRect clip = m_plot.intersected(update);
    if (clip.isEmpty()) return;
    const ChartSettings& s = *in.settings;
    const double start = StartTime(in), end = EndTime(in);
    const int total = TotalScrollWidth(in);
    const int H = m_plot.height();
    const bool printerColours = printingPage && s.chartPrinterFriendly;

    painter.save();
    painter.setClipRect(clip);
    painter.translate(m_plot.left() - scrollX, m_plot.top());
    for (std::size_t i = 0; i < in.channels.size(); ++i) {
        const ChartChannelView& c = in.channels[i];
        if (!c.visible || !c.data || !c.dataPrivate) continue;
        if (c.scaleMax == c.scaleMin || !std::isfinite(c.scaleMin) || !std::isfinite(c.scaleMax)) continue;
        LONG count = 0;
        if (FAILED(c.data->get_Count(&count)) || count < 2) continue;

        COLORREF colour = printerColours ? MaskColour(c.color, 0x7f) : c.color;
        int width = c.width;
        if (in.highlighting) {
            if (int(i) == in.highlightedChannel) {
                width = std::clamp(std::max(c.width, 1) * 3, 2, 9);
            } else {
                colour = Blend(colour, s.ColorBackGround, 50);
                width = c.width / 2;
            }
        }
        QPen pen(ToQColor(colour), std::max(0, width), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
        painter.setPen(pen);

        ChannelWindow w;
        w.data = c.data;
        w.dataPrivate = c.dataPrivate;
        w.bulk = c.bulk;
        w.scaleMin = c.scaleMin;
        w.scaleMax = c.scaleMax;
        w.tall = H;
        HRESULT hr;
        if (count < 24) {
            w.xMap.Setup(0, m_plot.width(), start, start + timeSpan);
            hr = AllVertices(w, 0, count, m_buffers, m_points);
        } else {
            w.xMap.Setup(0, total, start, end);
            w.clipLeft = clip.left() - m_plot.left() + scrollX;
            w.clipRight = clip.right() - m_plot.left() + scrollX;
            hr = WindowPolyline(w, count, reduceDenseWindows ? &m_summaries.For(c.dataPrivate) : nullptr,
                                m_buffers, m_points, reduceDenseWindows);
        }
        if (SUCCEEDED(hr) && m_points.size() >= 2)
            painter.drawPolyline(m_points.data(), int(m_points.size()));
    }
    painter.restore();
}

QFont CChartRenderer::MarkerFont(QPainter& painter, const ChartRenderInput& in) const {
    QFont font = ChartFont(*in.settings);
    const int px = font.pixelSize() > 0 ? font.pixelSize() : QFontMetrics(font, painter.device()).height();
    font.setPixelSize(MarkerFontPixelSize(px, DpiY(painter)));
    return font;
}

std::vector<EventMarker> CChartRenderer::LayoutMarkers(QPainter& painter, const ChartRenderInput& in) {
    LinearMap xMap;
    const double start = StartTime(in);
    xMap.Setup(0, m_plot.width(), start, start + timeSpan);
    return LayoutEventMarkers(QFontMetrics(MarkerFont(painter, in), painter.device()), xMap, in.events, 1);
}

void CChartRenderer::DrawMarkers(QPainter& painter, const QRect& update, const ChartRenderInput& in) {
    m_markers.clear();
    const QRect clip = m_plot.intersected(update);
    if (clip.isEmpty() || in.events.empty()) return;
    m_markers = LayoutMarkers(painter, in);
    painter.save();
    painter.setClipRect(clip);
    painter.translate(m_plot.left() - scrollX, m_plot.top());
    painter.setFont(MarkerFont(painter, in));
    for (const EventMarker& m : m_markers) {
        const QPoint triangle[] = {m.apex, QPoint(m.rect.left(), m.rect.bottom()),
                                   QPoint(m.rect.right(), m.rect.bottom())};
        painter.setPen(QPen(Qt::black, 0));
        painter.setBrush(ToQColor(m.fill));
        painter.drawPolygon(triangle, 3);
        painter.drawText(m.rect, Qt::AlignHCenter | Qt::AlignBottom | Qt::TextSingleLine, m.label);
    }
    painter.restore();
}
