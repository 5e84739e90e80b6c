#include "HoverReadout.h"

#include "display/ChartColours.h"
#include "display/DisplayFormat.h"
#include "display/WideText.h"
#include "document/CTallonChart.h"

#include "com/ccombstr.h"
#include "com/variant.h"
#include "display/VariantDate.h"

#include <cmath>

namespace {

double TimeAt(IZynDataSet* data, LONG index) {
    CComVariant v;
    if (FAILED(data->GetTimeAt(index, &v))) return NAN;
    return VariantDate(v, NAN);
}

// The index of the sample nearest to t: the time look-up gives the first sample at or after it,
// and the one before may be nearer.
bool NearestSample(IZynDataSet* data, LONG count, double t, double slack, LONG& index) {
    if (count <= 0) return false;
    const double first = TimeAt(data, 0), last = TimeAt(data, count - 1);
    if (!std::isfinite(first) || !std::isfinite(last) || t < first - slack || t > last + slack) return false;
    LONG i = 0;
    if (FAILED(data->TimeToIndex(t, &i))) return false;
    i = std::clamp<LONG>(i, 0, count - 1);
    if (i > 0 && std::fabs(TimeAt(data, i - 1) - t) <= std::fabs(TimeAt(data, i) - t)) --i;
    index = i;
    return true;
}

} // namespace

std::vector<HoverValue> ValuesAtTime(CTallonChart& doc, double t, double slack) {
    std::vector<HoverValue> out;
    for (const CComPtr<IZynChannel>& channel : doc.Channels()) {
        LONG visible = 0, count = 0;
        CComPtr<IZynDataSet> data;
        if (FAILED(channel->get_Visible(&visible)) || !visible || FAILED(channel->get_Data(&data)) || !data ||
            FAILED(data->get_Count(&count)))
            continue;
        LONG index = 0;
        double value = 0;
        if (!NearestSample(data, count, t, slack, index) || FAILED(data->GetValueAt(index, &value))) continue;
        CComBSTR name, units;
        OLE_COLOR colour = 0;
        channel->get_Name(&name);
        channel->get_Units(&units);
        channel->get_Color(&colour);
        out.push_back({FromBstr(name), FormatNumberWithUnits(value, FromBstr(units)), COLORREF(colour)});
    }
    return out;
}

QString HoverReadoutText(const QString& timeText, const std::vector<HoverValue>& values) {
    QString html = QStringLiteral("<b>%1</b>").arg(timeText.toHtmlEscaped());
    for (const HoverValue& v : values) {
        html += QStringLiteral("<br><span style=\"color:%1\">&#9632;</span> %2: %3")
                    .arg(ToQColor(v.colour).name(), v.name.toHtmlEscaped(), v.value.toHtmlEscaped());
    }
    return html;
}

CHoverCursor::CHoverCursor(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("HoverCursor"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAutoFillBackground(true);
    hide();
}

void CHoverCursor::ShowAt(int x, int top, int bottom, const QColor& colour) {
    QPalette pal = palette();
    pal.setColor(QPalette::Window, colour);
    setPalette(pal);
    setGeometry(x, top, 1, std::max(1, bottom - top + 1));
    show();
}
