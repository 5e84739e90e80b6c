#include "exchange/ScriptGenerator.h"

#include "display/WideText.h"
#include "document/AppContext.h"
#include "document/CTallonChart.h"
#include "utils/ZynFiles.h"

#include <QJSEngine>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

using zyn::script::BuildScript;
using zyn::script::ChartConfigurationText;
using zyn::script::ScriptLanguage;

namespace {

const QString kCpuPath = QStringLiteral("\\Processor(_Total)\\% Processor Time");
const QString kMemPath = QStringLiteral("\\Memory\\Available MBytes");
const QDateTime kNow(QDate(2026, 3, 5), QTime(9, 7, 3));

class ScriptGeneratorTest : public ::testing::Test {
protected:
    std::unique_ptr<CTallonChart> NewDoc(const QString& name) {
        auto doc = std::make_unique<CTallonChart>(ctx);
        doc->OnNewDocument();
        doc->Chart()->put_Name(ToBstr(name));
        return doc;
    }

    // Two channels of real counters with settings unlike the defaults, the window's too.
    std::unique_ptr<CTallonChart> ConfiguredDoc() {
        auto doc = NewDoc(QStringLiteral("My Chart #1"));
        doc->Chart()->put_Rate(2500);
        doc->Chart()->put_Run(1);
        EXPECT_TRUE(doc->AddChannelByPath(kCpuPath));
        EXPECT_TRUE(doc->AddChannelByPath(kMemPath));
        const auto channels = doc->Channels();
        channels[0]->put_Name(ToBstr(QStringLiteral("CPU")));
        channels[0]->put_Comment(ToBstr(QStringLiteral("busy")));
        channels[0]->put_Color(0x00336699);
        channels[0]->put_Width(3);
        channels[0]->put_ScaleMax(100);
        channels[0]->put_ScaleMin(-5.25);
        channels[1]->put_Name(ToBstr(QStringLiteral("Free")));
        channels[1]->put_Color(0x00FF0000);
        channels[1]->put_Width(1);
        channels[1]->put_ScaleMax(16384.5);
        channels[1]->put_ScaleMin(0);
        channels[1]->put_Visible(0);
        doc->SetTickSize(3);
        doc->SetTimeFormat(9);
        doc->SetXMinorTicks(false);
        doc->SetXGridLines(true);
        doc->SetYMajorTicks(false);
        doc->SetColorGrid(0x00102030);
        doc->SetColorText(0x00FFFFFF);
        doc->SetColorBackGround(0x00010203);
        return doc;
    }

    CAppContext ctx;
};

TEST_F(ScriptGeneratorTest, JScriptConfigurationOfAChartCharacterForCharacter) {
    auto doc = ConfiguredDoc();
    EXPECT_EQ(
        ChartConfigurationText(*doc, ScriptLanguage::JScript).toStdString(),
        QStringLiteral(
            "\r\n\tzynChart.Name = \"My Chart #1\";\r\n"
            "\tzynChart.Rate = 2500;\r\n"
            "\tvar zynWindow = zynApp.FindChartWindow(zynChart.Identifier);\r\n"
            "\tzynWindow.TickSize = 3;\r\n"
            "\tzynWindow.TimeFormat = 9;\r\n"
            "\tzynWindow.XMinorTicks = false;\r\n"
            "\tzynWindow.XMajorTicks = true;\r\n"
            "\tzynWindow.XGridLines = true;\r\n"
            "\tzynWindow.YMinorTicks = true;\r\n"
            "\tzynWindow.YMajorTicks = false;\r\n"
            "\tzynWindow.YGridLines = false;\r\n;\r\n"
            "\tzynWindow.ColorGrid = RGB(48,32,16);\r\n"
            "\tzynWindow.ColorText = RGB(255,255,255);\r\n"
            "\tzynWindow.ColorBackGround = RGB(3,2,1);\r\n"
            "\r\n\tvar zynChannel = zynChart.AddChannel(\"\\\\Processor(_Total)\\\\% Processor Time\");\r\n"
            "\t\tzynChannel.Name = \"CPU\";\r\n"
            "\t\tzynChannel.Comment = \"busy\";\r\n"
            "\t\tzynChannel.Color = RGB(153,102,51);\r\n"
            "\t\tzynChannel.Width = 3;\r\n"
            "\t\tzynChannel.ScaleMax = 100.000000;\r\n"
            "\t\tzynChannel.ScaleMin = -5.250000;\r\n"
            "\t\tzynChannel.Visible = true;\r\n"
            "\r\n\tzynChannel = zynChart.AddChannel(\"\\\\Memory\\\\Available MBytes\");\r\n"
            "\t\tzynChannel.Name = \"Free\";\r\n"
            "\t\tzynChannel.Color = RGB(0,0,255);\r\n"
            "\t\tzynChannel.Width = 1;\r\n"
            "\t\tzynChannel.ScaleMax = 16384.500000;\r\n"
            "\t\tzynChannel.ScaleMin = 0.000000;\r\n"
            "\t\tzynChannel.Visible = false;\r\n"
            "\r\n\tzynChart.Run = true;\r\n")
            .toStdString());
}

TEST_F(ScriptGeneratorTest, VBScriptConfigurationKeepsSingleBackslashesAndDeclaresTheChannelOnce) {
    auto doc = ConfiguredDoc();
    doc->Chart()->put_Comment(ToBstr(QStringLiteral("Nightly run")));
    EXPECT_EQ(
        ChartConfigurationText(*doc, ScriptLanguage::VBScript).toStdString(),
        QStringLiteral("\r\n\tzynChart.Name = \"My Chart #1\"\r\n"
                       "\tzynChart.Comment = \"Nightly run\"\r\n"
                       "\tzynChart.Rate = 2500\r\n"
                       "\tSet zynWindow = zynApp.FindChartWindow(zynChart.Identifier)\r\n"
                       "\tzynWindow.TickSize = 3\r\n"
                       "\tzynWindow.TimeFormat = 9\r\n"
                       "\tzynWindow.XMinorTicks = False\r\n"
                       "\tzynWindow.XMajorTicks = True\r\n"
                       "\tzynWindow.XGridLines = True\r\n"
                       "\tzynWindow.YMinorTicks = True\r\n"
                       "\tzynWindow.YMajorTicks = False\r\n"
                       "\tzynWindow.YGridLines = False\r\n\r\n"
                       "\tzynWindow.ColorGrid = RGB(48,32,16)\r\n"
                       "\tzynWindow.ColorText = RGB(255,255,255)\r\n"
                       "\tzynWindow.ColorBackGround = RGB(3,2,1)\r\n"
                       "\r\n\tDim zynChannel\r\n"
                       "\tSet zynChannel = zynChart.AddChannel(\"\\Processor(_Total)\\% Processor Time\")\r\n"
                       "\t\tzynChannel.Name = \"CPU\"\r\n"
                       "\t\tzynChannel.Comment = \"busy\"\r\n"
                       "\t\tzynChannel.Color = RGB(153,102,51)\r\n"
                       "\t\tzynChannel.Width = 3\r\n"
                       "\t\tzynChannel.ScaleMax = 100.000000\r\n"
                       "\t\tzynChannel.ScaleMin = -5.250000\r\n"
                       "\t\tzynChannel.Visible = True\r\n"
                       "\r\n\tSet zynChannel = zynChart.AddChannel(\"\\Memory\\Available MBytes\")\r\n"
                       "\t\tzynChannel.Name = \"Free\"\r\n"
                       "\t\tzynChannel.Color = RGB(0,0,255)\r\n"
                       "\t\tzynChannel.Width = 1\r\n"
                       "\t\tzynChannel.ScaleMax = 16384.500000\r\n"
                       "\t\tzynChannel.ScaleMin = 0.000000\r\n"
                       "\t\tzynChannel.Visible = False\r\n"
                       "\r\n\tzynChart.Run = True\r\n")
            .toStdString());
}

TEST_F(ScriptGeneratorTest, ARunningChartWithoutChannelsIsWrittenAsStopped) {
    auto doc = NewDoc(QStringLiteral("Empty"));
    doc->Chart()->put_Run(1);
    LONG run = 0;
    doc->Chart()->get_Run(&run);
    ASSERT_NE(run, 0);
    for (ScriptLanguage language : {ScriptLanguage::JScript, ScriptLanguage::VBScript}) {
        const QString text = ChartConfigurationText(*doc, language);
        EXPECT_TRUE(text.endsWith(language == ScriptLanguage::JScript
                                      ? QStringLiteral("\r\n\tzynChart.Run = false;\r\n")
                                      : QStringLiteral("\r\n\tzynChart.Run = False\r\n")))
            << text.toStdString();
        EXPECT_FALSE(text.contains(u"Comment")) << "no comment, no Comment line";
        EXPECT_FALSE(text.contains(u"zynChannel"));
    }
    // A stopped chart with channels is stopped in the script too.
    ASSERT_TRUE(doc->AddChannelByPath(kCpuPath));
    doc->Chart()->put_Run(0);
    EXPECT_TRUE(ChartConfigurationText(*doc, ScriptLanguage::JScript).endsWith(u"zynChart.Run = false;\r\n"));
}

TEST_F(ScriptGeneratorTest, OneChartScriptFillsTheTemplateForTheChartAskedFor) {
    auto other = NewDoc(QStringLiteral("Other"));
    auto doc = ConfiguredDoc();
    const QString id = doc->Identifier();
    for (ScriptLanguage language : {ScriptLanguage::JScript, ScriptLanguage::VBScript}) {
        const auto script = BuildScript({other.get(), doc.get()}, language, id, kNow);
        ASSERT_TRUE(script);
        const bool js = language == ScriptLanguage::JScript;
        EXPECT_TRUE(script->startsWith(js ? u"//=" : u"'="));
        EXPECT_TRUE(script->contains(u"This sample script file was auto-generated by Zynthar Tallon(tm) on: "
                                     u"3-05-2026 at 9:07:03\r\n"));
        EXPECT_TRUE(script->contains(
            u"You can run this file directly or it can be edited and customized as needed."));
        EXPECT_TRUE(script->contains(u"WScript.CreateObject(\"Tallon.Application\")"));
        EXPECT_TRUE(script->contains(u"Configure the chart settings"));
        EXPECT_TRUE(script->contains(QStringLiteral("\r\n") + ChartConfigurationText(*doc, language) +
                                     QStringLiteral("\r\n")));
        EXPECT_FALSE(script->contains(u"\"Other\""));
        EXPECT_TRUE(script->contains(u"SecondsToRun = 20"));
        EXPECT_TRUE(script->contains(u" seconds until shutdown\""));
        EXPECT_TRUE(script->contains(u"zynApp.StatusText = SecondsToRun"));
        EXPECT_TRUE(script->contains(u"\"***** ERROR ***** \""));
        EXPECT_TRUE(script->contains(u"red + green * 256 + blue * 65536"));
        EXPECT_FALSE(script->contains(u"##")) << "every placeholder is replaced and the text cut at ##END";
        EXPECT_TRUE(script->endsWith(js ? u"}\r\n" : u"End Function\r\n"));
    }
    // A chart that is not open leaves its placeholder in place.
    const auto missing = BuildScript({other.get()}, ScriptLanguage::JScript, id, kNow);
    ASSERT_TRUE(missing);
    EXPECT_TRUE(missing->contains(u"\r\n##CONFIG_CHART\r\n"));
}

TEST_F(ScriptGeneratorTest, AllChartsNameTheirFunctionsAndCallThemInOrder) {
    auto first = NewDoc(QString());
    auto second = NewDoc(QString());
    if (first->Name() != QString() || second->Name() != QString()) GTEST_SKIP() << "charts keep a name";
    const auto vbs = BuildScript({first.get(), second.get()}, ScriptLanguage::VBScript, QString(), kNow);
    ASSERT_TRUE(vbs);
    EXPECT_TRUE(vbs->contains(u"\r\nDim zynCharts(2)\r\n"));
    EXPECT_TRUE(vbs->contains(
        u"\tSet zynCharts(0) = Add_Chart1(zynApp)\r\n\tSet zynCharts(1) = Add_Chart2(zynApp)\r\n"));
    EXPECT_TRUE(vbs->contains(
        u"\r\nfunction Add_Chart1(zynApp)\r\n\tDim zynChart\r\n\tSet zynChart = zynApp.AddChart()"
        u"\r\n\tzynChart.Name = \"\"\r\n"));
    EXPECT_TRUE(vbs->contains(u"\r\n\tSet Add_Chart2 = zynChart\r\nEnd Function\r\n"));
    EXPECT_TRUE(vbs->contains(u"SecondsToRun = 30"));
    EXPECT_FALSE(vbs->contains(u"##"));
    // The functions follow the template's body.
    EXPECT_GT(vbs->indexOf(u"function Add_Chart1"), vbs->indexOf(u"Function RGB(red, green, blue)"));
    EXPECT_LT(vbs->indexOf(u"function Add_Chart1"), vbs->indexOf(u"function Add_Chart2"));

    const auto js = BuildScript({first.get(), second.get()}, ScriptLanguage::JScript, QString(), kNow);
    ASSERT_TRUE(js);
    EXPECT_TRUE(
        js->contains(u"var zynCharts = new Array();\r\n\tzynCharts[zynCharts.size] = Add_Chart1(zynApp);\r\n"
                     u"\tzynCharts[zynCharts.size] = Add_Chart2(zynApp);\r\n"));
    EXPECT_TRUE(js->contains(u"\r\nfunction Add_Chart2(zynApp)\r\n{\r\n\tvar zynChart = zynApp.AddChart();"
                             u"\r\n\tzynChart.Name = \"\";\r\n"));
    EXPECT_TRUE(js->endsWith(u"\r\n\tzynChart.Run = false;\r\n\r\n\treturn zynChart;\r\n}\r\n"));
    EXPECT_TRUE(js->contains(u"zynApp.TileWindows();"));
}

TEST_F(ScriptGeneratorTest, FunctionNamesReplaceWhatANameCannotHold) {
    EXPECT_EQ(zyn::script::ChartFunctionName(QStringLiteral("My Chart #1"), 1),
              QStringLiteral("Add_My_Chart__1"));
    EXPECT_EQ(zyn::script::ChartFunctionName(QString(), 7), QStringLiteral("Add_Chart7"));
    EXPECT_EQ(zyn::script::ChartFunctionName(QStringLiteral(" \";:'()!@#$%^&*-=+[]{}|\\<>,./`~x_9"), 1),
              QStringLiteral("Add_") + QString(31, u'_') + QStringLiteral("x_9"));
    // Beyond that list: a line break, '?' and letters VBScript does not take.
    EXPECT_EQ(zyn::script::ChartFunctionName(QStringLiteral("Disk?\nM\u00e9m"), 1),
              QStringLiteral("Add_Disk__M_m"));

    // Names that come out alike get a function each.
    auto a = NewDoc(QStringLiteral("Disk C"));
    auto b = NewDoc(QStringLiteral("Disk-C"));
    const auto js = BuildScript({a.get(), b.get()}, ScriptLanguage::JScript, QString(), kNow);
    ASSERT_TRUE(js);
    EXPECT_TRUE(
        js->contains(u"= Add_Disk_C(zynApp);\r\n\tzynCharts[zynCharts.size] = Add_Disk_C_2(zynApp);"));
    EXPECT_TRUE(js->contains(u"function Add_Disk_C(zynApp)"));
    EXPECT_TRUE(js->contains(u"function Add_Disk_C_2(zynApp)"));
}

// The texts a script sets come back unchanged: JScript literals are evaluated by a JavaScript
// engine; VBScript has none here, so its literals are checked as text.
TEST_F(ScriptGeneratorTest, NamesCommentsAndPathsWithQuotesBackslashesAndLineBreaksStayLiterals) {
    const QStringList texts = {
        QStringLiteral("Disk \"C\""),
        QStringLiteral("C:\\temp\\"),
        QStringLiteral("two\r\nlines\nand\rmore"),
        QStringLiteral("tab\there, bell\x07, \u2028 and \u00e9"),
        QStringLiteral("plain text"),
    };
    QJSEngine engine;
    for (const QString& text : texts) {
        const QString js = zyn::script::StringLiteral(ScriptLanguage::JScript, text);
        EXPECT_FALSE(js.contains(u'\n') || js.contains(u'\r')) << js.toStdString();
        const QJSValue value = engine.evaluate(js);
        EXPECT_FALSE(value.isError()) << js.toStdString();
        EXPECT_EQ(value.toString(), text) << js.toStdString();
    }
    EXPECT_EQ(zyn::script::StringLiteral(ScriptLanguage::JScript, QStringLiteral("plain text")),
              QStringLiteral("\"plain text\""));
    EXPECT_EQ(zyn::script::StringLiteral(ScriptLanguage::VBScript, QStringLiteral("plain text")),
              QStringLiteral("\"plain text\""));
    EXPECT_EQ(zyn::script::StringLiteral(ScriptLanguage::VBScript, QStringLiteral("Disk \"C\" \\ x")),
              QStringLiteral("\"Disk \"\"C\"\" \\ x\""));
    EXPECT_EQ(zyn::script::StringLiteral(ScriptLanguage::VBScript, QStringLiteral("two\r\nlines\nand\rmore")),
              QStringLiteral("\"two\" & vbCrLf & \"lines\" & vbLf & \"and\" & vbCr & \"more\""));
    EXPECT_EQ(zyn::script::StringLiteral(ScriptLanguage::VBScript, QStringLiteral("a\tb\x07")),
              QStringLiteral("\"a\tb\" & Chr(7) & \"\""));

    // In a whole script: the chart's name and comment and a channel's name and comment.
    auto doc = NewDoc(QStringLiteral("Disk \"C\""));
    doc->Chart()->put_Comment(ToBstr(QStringLiteral("first\r\nsecond")));
    ASSERT_TRUE(doc->AddChannelByPath(kCpuPath));
    doc->Channels()[0]->put_Name(ToBstr(QStringLiteral("back\\slash")));
    const QString js = ChartConfigurationText(*doc, ScriptLanguage::JScript);
    EXPECT_TRUE(js.contains(u"\tzynChart.Name = \"Disk \\\"C\\\"\";\r\n"));
    EXPECT_TRUE(js.contains(u"\tzynChart.Comment = \"first\\r\\nsecond\";\r\n"));
    EXPECT_TRUE(js.contains(u"\t\tzynChannel.Name = \"back\\\\slash\";\r\n"));
    const QString vbs = ChartConfigurationText(*doc, ScriptLanguage::VBScript);
    EXPECT_TRUE(vbs.contains(u"\tzynChart.Name = \"Disk \"\"C\"\"\"\r\n"));
    EXPECT_TRUE(vbs.contains(u"\tzynChart.Comment = \"first\" & vbCrLf & \"second\"\r\n"));
    EXPECT_TRUE(vbs.contains(u"\t\tzynChannel.Name = \"back\\slash\"\r\n"));
}

TEST_F(ScriptGeneratorTest, TemplatesLanguagesAndTheFile) {
    using zyn::script::ScriptLanguageForPath;
    EXPECT_EQ(ScriptLanguageForPath(QStringLiteral("/tmp/a.JS")), ScriptLanguage::JScript);
    EXPECT_EQ(ScriptLanguageForPath(QStringLiteral("a.js")), ScriptLanguage::JScript);
    EXPECT_EQ(ScriptLanguageForPath(QStringLiteral("a.Vbs")), ScriptLanguage::VBScript);
    EXPECT_FALSE(ScriptLanguageForPath(QStringLiteral("a.txt")));
    EXPECT_FALSE(ScriptLanguageForPath(QStringLiteral("a")));
    EXPECT_FALSE(ScriptLanguageForPath(QStringLiteral("a.js.bak")));

    EXPECT_EQ(zyn::script::ScriptTemplateId(ScriptLanguage::JScript, false), 137);
    EXPECT_EQ(zyn::script::ScriptTemplateId(ScriptLanguage::JScript, true), 138);
    EXPECT_EQ(zyn::script::ScriptTemplateId(ScriptLanguage::VBScript, false), 139);
    EXPECT_EQ(zyn::script::ScriptTemplateId(ScriptLanguage::VBScript, true), 140);
    const char16_t* placeholders[] = {u"##CONFIG_CHART", u"##ADD_CHART_CALLS", u"##CONFIG_CHART",
                                      u"##TOTAL_CHARTS"};
    for (int id = 137; id <= 140; ++id) {
        const auto text = zyn::script::LoadScriptTemplate(id);
        ASSERT_TRUE(text) << id;
        EXPECT_TRUE(text->contains(u"##DATE")) << id;
        EXPECT_TRUE(text->contains(QString::fromUtf16(placeholders[id - 137]))) << id;
        EXPECT_FALSE(text->contains(u"##END")) << id;
        EXPECT_EQ(text->count(u"\r\n"), text->count(u'\n')) << id << ": lines end in CR LF";
    }
    EXPECT_FALSE(zyn::script::LoadScriptTemplate(141));

    EXPECT_EQ(zyn::script::ScriptDateText(QDateTime(QDate(2025, 12, 31), QTime(23, 59, 9))),
              QStringLiteral("12-31-2025 at 23:59:09"));

    QTemporaryDir dir;
    const std::string path = (dir.path() + QStringLiteral("/s.js")).toStdString();
    ASSERT_TRUE(zyn::script::WriteScriptFile(path, QStringLiteral("\u00e9\r\n")));
    std::vector<std::uint8_t> bytes;
    ASSERT_TRUE(ZynReadRegularFile(path, bytes, 100));
    EXPECT_EQ(bytes, (std::vector<std::uint8_t>{0xC3, 0xA9, '\r', '\n'}))
        << "UTF-8 without a byte-order mark";
    std::string error;
    EXPECT_FALSE(
        zyn::script::WriteScriptFile(dir.path().toStdString() + "/no/such/folder/s.js", QString(), &error));
    EXPECT_FALSE(error.empty());
}

} // namespace
