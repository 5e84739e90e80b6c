// zynchartscript OUT.js EXPECTED: makes a running chart of three real counters with settings unlike
// the defaults in a chart document, writes its one-chart JScript with the script generator, and
// writes what a chart rebuilt from that script must read back through automation, one
// "property=value" line each (texts as JSON strings), in the order scripts/rebuilt-chart.js prints
// them.

#include "display/WideText.h"
#include "document/AppContext.h"
#include "document/CTallonChart.h"
#include "exchange/ScriptGenerator.h"

#include <QDateTime>
#include <QFile>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>

#include <cstdio>

namespace {

struct ChannelRecipe {
    QString path, name, comment;
    COLORREF colour;
    LONG width;
    double scaleMax, scaleMin;
    bool visible;
};

QString Json(const QString& text) {
    const QByteArray array = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(array.mid(1, array.size() - 2));
}

QString Flag(bool on) {
    return on ? QStringLiteral("1") : QStringLiteral("0");
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("usage: zynchartscript OUT.js EXPECTED\n", stderr);
        return 2;
    }
    QGuiApplication app(argc, argv);
    const QString name = QStringLiteral("Round \"trip\" C:\\load");
    const QString comment = QStringLiteral("Two lines:\r\nthe second with a tab\there");
    const LONG rate = 400;
    const ChannelRecipe channels[] = {
        {QStringLiteral("\\Processor(_Total)\\% Processor Time"), QStringLiteral("CPU \"all\""),
         QStringLiteral("busy\\idle"), 0x00336699, 3, 100, 0, true},
        {QStringLiteral("\\Memory\\Available MBytes"), QStringLiteral("Free memory"), QString(), 0x00FF00FF,
         1, 65536.5, -2.25, false},
        {QStringLiteral("\\System\\Processes"), QStringLiteral("Processes"), QStringLiteral("all of them"),
         0x0000C000, 5, 2000, 10, true},
    };

    CAppContext context;
    QStringList expected;
    {
        CTallonChart doc(context);
        IZynChart* chart = doc.Chart();
        if (!chart) return 1;
        chart->put_Name(ToBstr(name));
        chart->put_Comment(ToBstr(comment));
        chart->put_Rate(rate);
        for (const ChannelRecipe& wanted : channels) {
            if (!doc.AddChannelByPath(wanted.path)) {
                std::fprintf(stderr, "zynchartscript: cannot add %s\n", qPrintable(wanted.path));
                return 1;
            }
            CComPtr<IZynChannel> channel = doc.Channels().back();
            channel->put_Name(ToBstr(wanted.name));
            channel->put_Comment(ToBstr(wanted.comment));
            channel->put_Color(wanted.colour);
            channel->put_Width(wanted.width);
            channel->put_ScaleMax(wanted.scaleMax);
            channel->put_ScaleMin(wanted.scaleMin);
            channel->put_Visible(wanted.visible ? 1 : 0);
        }
        doc.SetTickSize(1);
        doc.SetTimeFormat(9); // clock time, the second format
        doc.SetXMinorTicks(false);
        doc.SetXMajorTicks(true);
        doc.SetXGridLines(true);
        doc.SetYMinorTicks(false);
        doc.SetYMajorTicks(false);
        doc.SetYGridLines(true);
        doc.SetColorGrid(0x00204060);
        doc.SetColorText(0x00E0D0C0);
        doc.SetColorBackGround(0x00101010);
        chart->put_Run(1);

        const auto script = zyn::script::BuildScript({&doc}, zyn::script::ScriptLanguage::JScript,
                                                     doc.Identifier(), QDateTime::currentDateTime());
        std::string error;
        if (!script || !zyn::script::WriteScriptFile(argv[1], *script, &error)) {
            std::fprintf(stderr, "zynchartscript: cannot write %s: %s\n", argv[1], error.c_str());
            return 1;
        }
        chart->put_Run(0);
    }
    context.Close();

    expected << QStringLiteral("Name=") + Json(name) << QStringLiteral("Comment=") + Json(comment)
             << QStringLiteral("Rate=%1").arg(rate) << QStringLiteral("TickSize=1")
             << QStringLiteral("TimeFormat=9") << QStringLiteral("XMinorTicks=0")
             << QStringLiteral("XMajorTicks=1") << QStringLiteral("XGridLines=1")
             << QStringLiteral("YMinorTicks=0") << QStringLiteral("YMajorTicks=0")
             << QStringLiteral("YGridLines=1") << QStringLiteral("ColorGrid=%1").arg(0x00204060)
             << QStringLiteral("ColorText=%1").arg(0x00E0D0C0)
             << QStringLiteral("ColorBackGround=%1").arg(0x00101010)
             << QStringLiteral("Channels=%1").arg(std::size(channels));
    for (const ChannelRecipe& wanted : channels)
        expected << QStringLiteral("CounterPath=") + Json(wanted.path)
                 << QStringLiteral("Name=") + Json(wanted.name)
                 << QStringLiteral("Comment=") + Json(wanted.comment)
                 << QStringLiteral("Color=%1").arg(wanted.colour)
                 << QStringLiteral("Width=%1").arg(wanted.width)
                 << QStringLiteral("ScaleMax=") + QString::number(wanted.scaleMax)
                 << QStringLiteral("ScaleMin=") + QString::number(wanted.scaleMin)
                 << QStringLiteral("Visible=") + Flag(wanted.visible);
    expected << QStringLiteral("Run=1") << QStringLiteral("Sampling=1");
    QFile out(QString::fromLocal8Bit(argv[2]));
    if (!out.open(QIODevice::WriteOnly) || out.write((expected.join(u'\n') + u'\n').toUtf8()) < 0) return 1;
    return 0;
}
