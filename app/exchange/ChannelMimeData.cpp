#include "ChannelMimeData.h"

#include "ChannelDescription.h"
#include "CsvExport.h"

#include "com/ccombstr.h"
#include "display/WideText.h"
#include "document/CTallonChart.h"

#include <string>

namespace zyn::clipboard {

CChannelMimeData::CChannelMimeData(CTallonChart* source, QString chartId, QString channelId,
                                   const QString& description, const QString& name)
    : m_source(source), m_chartId(std::move(chartId)), m_channelId(std::move(channelId)) {
    setData(kNameFormat, name.toUtf8());
    setData(kDescriptionFormat, description.toUtf8());
}

QStringList CChannelMimeData::formats() const {
    QStringList list = QMimeData::formats();
    for (QLatin1StringView f : {kCsvFormat, kTextFormat})
        if (!list.contains(f)) list << f;
    return list;
}

bool CChannelMimeData::hasFormat(const QString& mimeType) const {
    return mimeType == kCsvFormat || mimeType == kTextFormat || QMimeData::hasFormat(mimeType);
}

QVariant CChannelMimeData::retrieveData(const QString& mimeType, QMetaType type) const {
    if (mimeType != kCsvFormat && mimeType != kTextFormat) return QMimeData::retrieveData(mimeType, type);
    const QByteArray csv = RenderCsv();
    if (type.id() == QMetaType::QString) return QString::fromUtf8(csv);
    return csv;
}

QByteArray CChannelMimeData::RenderCsv() const {
    QString chartId = m_chartId, channelId = m_channelId;
    ChannelDescription description;
    const QString text = QString::fromUtf8(QMimeData::data(kDescriptionFormat));
    if (ReadChannelDescription(U16View(text), description) && !description.chart.empty() &&
        !description.channel.empty()) {
        chartId = QString::fromStdU16String(description.chart);
        channelId = QString::fromStdU16String(description.channel);
    }
    if (!m_source || chartId.isEmpty() || channelId.isEmpty()) return {};
    CComPtr<IZynApp> app = m_source->Context().App();
    CComPtr<IZynChart> chart;
    CComPtr<IZynChannel> channel;
    if (!app || app->FindChart(ToBstr(chartId), &chart) != S_OK || !chart ||
        chart->FindChannel(ToBstr(channelId), &channel) != S_OK || !channel)
        return {};
    std::string csv;
    if (!zyn::csv::WriteChannelCsv(channel, csv)) return {};
    return QByteArray::fromStdString(csv);
}

} // namespace zyn::clipboard
