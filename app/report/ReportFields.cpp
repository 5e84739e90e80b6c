#include "ReportFields.h"

#include "display/ChartRenderer.h"
#include "display/ChartSettings.h"
#include "display/DisplayFormat.h"
#include "display/WideText.h"
#include "resources/ZynStrings.h"

#include "com/ccombstr.h"
#include "com/variant.h"
#include "utils/ZynNumber.h"
#include "utils/ZynTime.h"

#include <cmath>

namespace {

constexpr char16_t kCountFormat[] = u"%2.0lf";
constexpr char16_t kRateFormat[] = u"%3.2lf";

QString ChannelTypeText(ZynChannelType type) {
    switch (type) {
    case typeDynamic:
        return QStringLiteral("Dynamic");
    case typeStatic:
        return QStringLiteral("Static");
    case typeVirtual:
        return QStringLiteral("Virtual");
    default:
        return {};
    }
}

// The fields a channel's data fills; all empty for a channel without samples.
const QString kDataFields[] = {
    QStringLiteral("#ChannelStartValue#"),      QStringLiteral("#ChannelStopValue#"),
    QStringLiteral("#ChannelMaxValue#"),        QStringLiteral("#ChannelMinValue#"),
    QStringLiteral("#ChannelAvgValue#"),        QStringLiteral("#ChannelMaxValueTime#"),
    QStringLiteral("#ChannelMinValueTime#"),    QStringLiteral("#ChannelMaxValueRelTime#"),
    QStringLiteral("#ChannelMinValueRelTime#"), QStringLiteral("#ChannelDiffValue#"),
    QStringLiteral("#ChannelRateChange#"),
};

} // namespace

QString ReportNumber(double value, const char16_t* format) {
    char16_t buf[256] = {};
    return CommaNumber(value, buf, 256, format) ? QString::fromUtf16(buf) : QString();
}

QString RateOfChange(double days, double first, double last, const QString& units) {
    if (!(days > 0) || last == first) return QStringLiteral("0.0");
    const double d = std::fabs(last - first);
    const double perUnit[] = {d / days, d / (days * 24), d / (days * 1440)};
    int unit = 3;
    double rate = d / (days * 86400);
    for (int i = 0; i < 3; ++i) {
        if (perUnit[i] > 1 && perUnit[i] < 100) {
            unit = i;
            rate = perUnit[i];
            break;
        }
    }
    return ReportNumber(rate) + u' ' + units + u'/' + UnitWord(unit);
}

CReportFieldReader::CReportFieldReader(CReportFieldMap& fields, const ReportInputs& in)
    : m_fields(fields), m_in(in) {
    ChartRenderInput times;
    if (in.chart) {
        CComVariant start;
        in.chart->get_StartTime(&start);
        times.chartStartTime = VariantDate(start);
    }
    times.documentCreated = in.documentCreated;
    m_start = CChartRenderer().StartTime(times);
}

bool CReportFieldReader::Check(HRESULT hr) {
    if (FAILED(hr)) m_failed = true;
    return SUCCEEDED(hr);
}

template <class I> QString CReportFieldReader::Text(I* object, HRESULT (I::*get)(BSTR*)) {
    CComBSTR text;
    if (!Check((object->*get)(&text))) return {};
    return FromBstr(text);
}

double CReportFieldReader::DateAt(IZynDataSet* data, LONG index) {
    CComVariant t;
    if (!Check(data->GetTimeAt(index, &t))) return 0.0;
    return VariantDate(t);
}

double CReportFieldReader::ValueAt(IZynDataSet* data, LONG index) {
    double v = 0.0;
    Check(data->GetValueAt(index, &v));
    return v;
}

QString CReportFieldReader::RelativeToStart(double t) const {
    const double d = t - m_start;
    if (d < 0) return {};
    return FormatDuration(d, int(m_in.settings->relativeTimeFormat));
}

void CReportFieldReader::SetChartFields() {
    IZynChart* chart = m_in.chart;
    const double now = m_in.reportTime > 0 ? m_in.reportTime : GetTimeAsDouble();
    m_fields.Set(QStringLiteral("#ReportTime#"), FormatTimeDate(now));
    m_fields.Set(QStringLiteral("#ChartName#"), Text(chart, &IZynChart::get_Name));
    m_fields.Set(QStringLiteral("#ChartComment#"), Text(chart, &IZynChart::get_Comment));
    m_fields.Set(QStringLiteral("#ChartIdentifier#"), Text(chart, &IZynChart::get_Identifier));

    CComVariant startValue, lastValue;
    Check(chart->get_StartTime(&startValue));
    Check(chart->get_LastTime(&lastValue));
    ChartRenderInput times;
    times.chartStartTime = VariantDate(startValue);
    times.chartLastTime = VariantDate(lastValue);
    times.documentCreated = m_in.documentCreated;
    QString start, stop, duration;
    // A chart that never ran has no start; the display's stand-ins (the window's creation time and
    // a second after it) are not facts to report.
    if (times.chartStartTime > 0) {
        const CChartRenderer display;
        const double first = display.StartTime(times), last = display.LastTime(times);
        start = FormatTimeDate(first);
        stop = FormatTimeDate(last);
        duration = FormatDuration(last - first, 3);
    }
    m_fields.Set(QStringLiteral("#ChartStartTime#"), start);
    m_fields.Set(QStringLiteral("#ChartStopTime#"), stop);
    m_fields.Set(QStringLiteral("#ChartDuration#"), duration);

    LONG channels = 0, rate = 0;
    Check(chart->get_ChannelCount(&channels));
    Check(chart->get_Rate(&rate));
    m_fields.Set(QStringLiteral("#ChartChannelCount#"), QString::number(channels));
    m_fields.Set(QStringLiteral("#ChartRate#"), ReportNumber(double(rate), kRateFormat));
}

void CReportFieldReader::SetChannelNames(IZynChannel* channel) {
    m_fields.Set(QStringLiteral("#ChannelName#"), Text(channel, &IZynChannel::get_Name));
    m_fields.Set(QStringLiteral("#CounterDisplayName#"), Text(channel, &IZynChannel::get_Counter));
    m_fields.Set(QStringLiteral("#DataUnits#"), Text(channel, &IZynChannel::get_Units));
}

void CReportFieldReader::SetCounterFields(IZynChannel* channel) {
    m_fields.Set(QStringLiteral("#CounterFullPath#"), Text(channel, &IZynChannel::get_CounterPath));
    m_fields.Set(QStringLiteral("#CounterDisplayName#"), Text(channel, &IZynChannel::get_Counter));
    m_fields.Set(QStringLiteral("#CounterMachine#"), Text(channel, &IZynChannel::get_CounterMachine));
    m_fields.Set(QStringLiteral("#CounterObjectName#"), Text(channel, &IZynChannel::get_CounterObject));
    m_fields.Set(QStringLiteral("#CounterInstanceName#"), Text(channel, &IZynChannel::get_CounterInstance));
    m_fields.Set(QStringLiteral("#CounterParentName#"), Text(channel, &IZynChannel::get_CounterParent));
    m_fields.Set(QStringLiteral("#CounterName#"), Text(channel, &IZynChannel::get_CounterName));
    m_fields.Set(QStringLiteral("#CounterDescription#"), Text(channel, &IZynChannel::get_CounterDescription));
}

void CReportFieldReader::SetChannelFields(IZynChannel* channel) {
    SetChannelNames(channel);
    SetCounterFields(channel);
    m_fields.Set(QStringLiteral("#ChannelComment#"), Text(channel, &IZynChannel::get_Comment));
    m_fields.Set(QStringLiteral("#ChannelIdentifier#"), Text(channel, &IZynChannel::get_Identifier));
    ZynChannelType type{};
    Check(channel->get_ChannelType(&type));
    // An unknown type shows nothing rather than the previous channel's type.
    m_fields.Set(QStringLiteral("#ChannelType#"), ChannelTypeText(type));
    double scaleMin = 0.0, scaleMax = 0.0;
    Check(channel->get_ScaleMin(&scaleMin));
    Check(channel->get_ScaleMax(&scaleMax));
    m_fields.Set(QStringLiteral("#ChannelMinScale#"), ReportNumber(scaleMin));
    m_fields.Set(QStringLiteral("#ChannelMaxScale#"), ReportNumber(scaleMax));
    SetDataFields(channel);
}

void CReportFieldReader::ClearDataFields() {
    for (const QString& name : kDataFields)
        m_fields.Set(name, QString());
}

void CReportFieldReader::SetDataFields(IZynChannel* channel) {
    ClearDataFields();
    CComPtr<IZynDataSet> data;
    LONG n = 0;
    if (Check(channel->get_Data(&data)) && data) Check(data->get_Count(&n));
    m_fields.Set(QStringLiteral("#ChannelNumPoints#"), ReportNumber(double(n), kCountFormat));
    if (n < 1 || m_failed) return;

    const double first = ValueAt(data, 0), last = ValueAt(data, n - 1);
    double max = 0.0, min = 0.0, average = 0.0;
    LONG indexMax = 0, indexMin = 0;
    Check(data->get_Max(&max));
    Check(data->get_Min(&min));
    Check(data->get_Average(&average));
    Check(data->get_IndexMax(&indexMax));
    Check(data->get_IndexMin(&indexMin));
    const double maxTime = DateAt(data, indexMax), minTime = DateAt(data, indexMin);
    const double firstTime = DateAt(data, 0), lastTime = DateAt(data, n - 1);
    if (m_failed) return;

    m_fields.Set(QStringLiteral("#ChannelStartValue#"), ReportNumber(first));
    m_fields.Set(QStringLiteral("#ChannelStopValue#"), ReportNumber(last));
    m_fields.Set(QStringLiteral("#ChannelMaxValue#"), ReportNumber(max));
    m_fields.Set(QStringLiteral("#ChannelMinValue#"), ReportNumber(min));
    m_fields.Set(QStringLiteral("#ChannelAvgValue#"), ReportNumber(average));
    m_fields.Set(QStringLiteral("#ChannelMaxValueTime#"), FormatTimeOrDateTime(maxTime));
    m_fields.Set(QStringLiteral("#ChannelMinValueTime#"), FormatTimeOrDateTime(minTime));
    m_fields.Set(QStringLiteral("#ChannelMaxValueRelTime#"), RelativeToStart(maxTime));
    m_fields.Set(QStringLiteral("#ChannelMinValueRelTime#"), RelativeToStart(minTime));
    m_fields.Set(QStringLiteral("#ChannelDiffValue#"), ReportNumber(last - first));
    m_fields.Set(
        QStringLiteral("#ChannelRateChange#"),
        RateOfChange(lastTime - firstTime, first, last, m_fields.Get(QStringLiteral("#DataUnits#"))));
}

void CReportFieldReader::SetEventFields(IZynEvent* event, int number, double start) {
    m_fields.Set(QStringLiteral("#EventName#"),
                 QStringLiteral("%1 (%2)").arg(Text(event, &IZynEvent::get_Name)).arg(number));
    m_fields.Set(QStringLiteral("#EventComment#"), Text(event, &IZynEvent::get_Comment));
    m_fields.Set(QStringLiteral("#EventIdentifier#"), Text(event, &IZynEvent::get_Identifier));
    m_fields.Set(QStringLiteral("#EventStartTime#"), FormatTimeDate(start));
}

void CReportFieldReader::SetEventStop(double start, double stop, bool running) {
    if (running) {
        const QString unknown = LoadZynString(kEventRunningText);
        m_fields.Set(QStringLiteral("#EventStopTime#"), unknown);
        m_fields.Set(QStringLiteral("#EventDuration#"), unknown);
        return;
    }
    m_fields.Set(QStringLiteral("#EventStopTime#"), FormatTimeDate(stop));
    m_fields.Set(QStringLiteral("#EventDuration#"), FormatDuration(stop - start, 3));
}

void CReportFieldReader::SetEventChannelFields(IZynChannel* channel, const SampleWindowStats& stats,
                                               double start, double stop) {
    CComPtr<IZynDataSet> data;
    if (!Check(channel->get_Data(&data)) || !data) return;
    const double maxTime = DateAt(data, stats.indexMax), minTime = DateAt(data, stats.indexMin);
    SetChannelNames(channel);
    m_fields.Set(QStringLiteral("#ChannelNumPoints#"), ReportNumber(double(stats.Count()), kCountFormat));
    m_fields.Set(QStringLiteral("#ChannelAvgValue#"), ReportNumber(stats.Average()));
    m_fields.Set(QStringLiteral("#ChannelStartValue#"), ReportNumber(stats.firstValue));
    m_fields.Set(QStringLiteral("#ChannelStopValue#"), ReportNumber(stats.lastValue));
    m_fields.Set(QStringLiteral("#ChannelMaxValue#"), ReportNumber(stats.max));
    m_fields.Set(QStringLiteral("#ChannelMinValue#"), ReportNumber(stats.min));
    m_fields.Set(QStringLiteral("#ChannelMaxValueTime#"), FormatTimeOrDateTime(maxTime));
    m_fields.Set(QStringLiteral("#ChannelMinValueTime#"), FormatTimeOrDateTime(minTime));
    m_fields.Set(QStringLiteral("#ChannelDiffValue#"), ReportNumber(stats.lastValue - stats.firstValue));
    m_fields.Set(QStringLiteral("#ChannelRateChange#"),
                 RateOfChange(stop - start, stats.firstValue, stats.lastValue,
                              m_fields.Get(QStringLiteral("#DataUnits#"))));
}
