#include "ScriptGenerator.h"

#include "CsvExport.h"

#include "display/WideText.h"
#include "document/CTallonChart.h"
#include "resources/ZynFiles.h"
#include "utils/ZynFiles.h"

#include "com/ccombstr.h"

#include <QSet>

#include <string>

namespace zyn::script {

namespace {

const QString kDate = QStringLiteral("##DATE");
const QString kTotalCharts = QStringLiteral("##TOTAL_CHARTS");
const QString kConfigChart = QStringLiteral("##CONFIG_CHART");
const QString kAddChartCalls = QStringLiteral("##ADD_CHART_CALLS");

QString Rgb(COLORREF colour) {
    return QStringLiteral("RGB(%1,%2,%3)")
        .arg(colour & 0xFF)
        .arg((colour >> 8) & 0xFF)
        .arg((colour >> 16) & 0xFF);
}

// "%lf": six decimals with '.' whatever the locale.
QString Decimal(double value) {
    std::string text;
    zyn::csv::AppendValue(text, value);
    return QString::fromStdString(text);
}

template <class I> QString TextOf(I* object, HRESULT (I::*getter)(BSTR*)) {
    CComBSTR value;
    if (!object || FAILED((object->*getter)(&value))) return {};
    return FromBstr(value);
}

template <class I, class T> T ValueOf(I* object, HRESULT (I::*getter)(T*)) {
    T value{};
    if (object) (object->*getter)(&value);
    return value;
}

// Replaces the first `placeholder` only: the text put in its place (names, comments) may hold
// a placeholder's spelling without being replaced in turn.
void ReplaceOnce(QString& text, const QString& placeholder, const QString& by) {
    const qsizetype at = text.indexOf(placeholder);
    if (at >= 0) text.replace(at, placeholder.size(), by);
}

QString ChannelText(IZynChannel* channel, bool first, ScriptLanguage language) {
    const QString end = LineEnd(language);
    const bool js = language == ScriptLanguage::JScript;
    QString out;
    if (first)
        out += js ? QStringLiteral("\r\n\tvar zynChannel = zynChart.AddChannel(")
                  : QStringLiteral("\r\n\tDim zynChannel\r\n\tSet zynChannel = zynChart.AddChannel(");
    else
        out += js ? QStringLiteral("\r\n\tzynChannel = zynChart.AddChannel(")
                  : QStringLiteral("\r\n\tSet zynChannel = zynChart.AddChannel(");
    // In JScript the literal doubles every backslash of the path.
    out += StringLiteral(language, TextOf(channel, &IZynChannel::get_CounterPath)) + u')' + end;
    out += QStringLiteral("\t\tzynChannel.Name = ") +
           StringLiteral(language, TextOf(channel, &IZynChannel::get_Name)) + end;
    const QString comment = TextOf(channel, &IZynChannel::get_Comment);
    if (!comment.isEmpty())
        out += QStringLiteral("\t\tzynChannel.Comment = ") + StringLiteral(language, comment) + end;
    out += QStringLiteral("\t\tzynChannel.Color = ") +
           Rgb(COLORREF(ValueOf(channel, &IZynChannel::get_Color))) + end;
    out += QStringLiteral("\t\tzynChannel.Width = %1").arg(ValueOf(channel, &IZynChannel::get_Width)) + end;
    out += QStringLiteral("\t\tzynChannel.ScaleMax = ") +
           Decimal(ValueOf(channel, &IZynChannel::get_ScaleMax)) + end;
    out += QStringLiteral("\t\tzynChannel.ScaleMin = ") +
           Decimal(ValueOf(channel, &IZynChannel::get_ScaleMin)) + end;
    out += QStringLiteral("\t\tzynChannel.Visible = ") +
           BooleanText(language, ValueOf(channel, &IZynChannel::get_Visible) != 0) + end;
    return out;
}

} // namespace

int ScriptTemplateId(ScriptLanguage language, bool allCharts) {
    return kFirstTemplateId + (language == ScriptLanguage::VBScript ? 2 : 0) + (allCharts ? 1 : 0);
}

std::optional<QString> LoadScriptTemplate(int id) {
    std::optional<QString> text = LoadZynFileResource(id);
    if (!text) return std::nullopt;
    const qsizetype end = text->indexOf(QStringLiteral("##END"));
    if (end >= 0) text->truncate(end);
    return text;
}

QString ScriptDateText(const QDateTime& when) {
    const QDate d = when.date();
    const QTime t = when.time();
    return QStringLiteral("%1-%2-%3 at %4:%5:%6")
        .arg(d.month())
        .arg(d.day(), 2, 10, QChar(u'0'))
        .arg(d.year())
        .arg(t.hour())
        .arg(t.minute(), 2, 10, QChar(u'0'))
        .arg(t.second(), 2, 10, QChar(u'0'));
}

QString ChartConfigurationText(const CTallonChart& doc, ScriptLanguage language) {
    IZynChart* chart = doc.Chart();
    const QString end = LineEnd(language);
    QString out;
    out += QStringLiteral("\r\n\tzynChart.Name = ") +
           StringLiteral(language, TextOf(chart, &IZynChart::get_Name)) + end;
    const QString comment = TextOf(chart, &IZynChart::get_Comment);
    if (!comment.isEmpty())
        out += QStringLiteral("\tzynChart.Comment = ") + StringLiteral(language, comment) + end;
    out += QStringLiteral("\tzynChart.Rate = %1").arg(ValueOf(chart, &IZynChart::get_Rate)) + end;
    out += QStringLiteral("\t") + DeclarationWord(language) +
           QStringLiteral(" zynWindow = zynApp.FindChartWindow(zynChart.Identifier)") + end;
    // The window's settings as its automation object hands them out.
    out += QStringLiteral("\tzynWindow.TickSize = %1").arg(int(doc.TickSize())) + end;
    out += QStringLiteral("\tzynWindow.TimeFormat = %1").arg(doc.TimeFormat()) + end;
    const std::pair<QString, bool> switches[] = {
        {QStringLiteral("XMinorTicks"), doc.XMinorTicks()},
        {QStringLiteral("XMajorTicks"), doc.XMajorTicks()},
        {QStringLiteral("XGridLines"), doc.XGridLines()},
        {QStringLiteral("YMinorTicks"), doc.YMinorTicks()},
        {QStringLiteral("YMajorTicks"), doc.YMajorTicks()},
        {QStringLiteral("YGridLines"), doc.YGridLines()},
    };
    for (const auto& [name, on] : switches)
        out += QStringLiteral("\tzynWindow.%1 = ").arg(name) + BooleanText(language, on) + end;
    out += end;
    out += QStringLiteral("\tzynWindow.ColorGrid = ") + Rgb(COLORREF(doc.ColorGrid())) + end;
    out += QStringLiteral("\tzynWindow.ColorText = ") + Rgb(COLORREF(doc.ColorText())) + end;
    out += QStringLiteral("\tzynWindow.ColorBackGround = ") + Rgb(COLORREF(doc.ColorBackGround())) + end;

    LONG channels = 0;
    CComPtr<IZynChannelIter> it;
    if (chart && SUCCEEDED(chart->get_Channels(&it)) && it) {
        it->get_Count(&channels);
        bool first = true;
        for (;;) {
            LONG more = 0;
            CComPtr<IZynChannel> channel;
            if (FAILED(it->get_HasNext(&more)) || !more || FAILED(it->GetNext(&channel)) || !channel) break;
            out += ChannelText(channel, first, language);
            first = false;
        }
    }
    // A chart without channels would not run: it is written as stopped.
    const bool run = ValueOf(chart, &IZynChart::get_Run) != 0 && channels != 0;
    out += QStringLiteral("\r\n\tzynChart.Run = ") + BooleanText(language, run) + end;
    return out;
}

std::optional<QString> BuildScript(const std::vector<const CTallonChart*>& documents, ScriptLanguage language,
                                   const QString& chartId, const QDateTime& now) {
    const bool all = chartId.isEmpty();
    std::optional<QString> script = LoadScriptTemplate(ScriptTemplateId(language, all));
    if (!script) return std::nullopt;
    script->replace(kDate, ScriptDateText(now));
    script->replace(kTotalCharts, QString::number(documents.size()));

    if (!all) {
        for (const CTallonChart* doc : documents) {
            if (TextOf(doc->Chart(), &IZynChart::get_Identifier) != chartId) continue;
            ReplaceOnce(*script, kConfigChart, ChartConfigurationText(*doc, language));
            break;
        }
        return script;
    }

    const bool js = language == ScriptLanguage::JScript;
    QStringList calls;
    QString functions;
    QSet<QString> used;
    int k = 0;
    for (const CTallonChart* doc : documents) {
        ++k;
        QString name = ChartFunctionName(TextOf(doc->Chart(), &IZynChart::get_Name), k);
        // Two charts whose names differ only in replaced characters would share one function,
        // and the second would rebuild both.
        if (used.contains(name)) name += QStringLiteral("_%1").arg(k);
        used.insert(name);
        calls << (js ? QStringLiteral("zynCharts[zynCharts.size] = %1(zynApp);").arg(name)
                     : QStringLiteral("Set zynCharts(%1) = %2(zynApp)").arg(k - 1).arg(name));
        const QString config = ChartConfigurationText(*doc, language);
        if (js)
            functions += QStringLiteral("\r\nfunction ") + name +
                         QStringLiteral("(zynApp)\r\n{\r\n\tvar zynChart = zynApp.AddChart();") + config +
                         QStringLiteral("\r\n\treturn zynChart;\r\n}\r\n");
        else
            functions += QStringLiteral("\r\nfunction ") + name +
                         QStringLiteral("(zynApp)\r\n\tDim zynChart\r\n\tSet zynChart = zynApp.AddChart()") +
                         config + QStringLiteral("\r\n\tSet ") + name +
                         QStringLiteral(" = zynChart\r\nEnd Function\r\n");
    }
    // Each call takes the placeholder's place and passes it on to the next one.
    ReplaceOnce(*script, kAddChartCalls, calls.join(QStringLiteral("\r\n\t")));
    *script += functions;
    return script;
}

bool WriteScriptFile(const std::string& path, const QString& script, std::string* error,
                     std::vector<std::string>* notes) {
    const QByteArray bytes = script.toUtf8();
    return ZynSaveFile(path,
                       {reinterpret_cast<const std::uint8_t*>(bytes.constData()), std::size_t(bytes.size())},
                       error, notes);
}

} // namespace zyn::script
