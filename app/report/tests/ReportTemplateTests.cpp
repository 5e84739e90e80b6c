// The built-in template row by row, the "Report Fields" list read from it, and templates that do
// not load.

#include "report/ReportTemplate.h"
#include "resources/ZynFiles.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Row {
    std::u16string element; // Item or FullItem
    std::uint32_t bit;
    std::u16string label; // element text
    std::u16string value;
    std::u16string prefix;
    int noEmpty;
    int fontSize; // 0 when absent
};

std::u16string Attr(const CXmlNode& n, std::u16string_view name) {
    return n.GetAttributeString(name);
}

std::vector<Row> RowsOf(const CXmlNode& section) {
    std::vector<Row> rows;
    for (int i = 0; i < section.GetChildCount(); ++i) {
        const CXmlNode& c = *section.GetChildAt(i);
        if (c.GetName() != u"Item" && c.GetName() != u"FullItem") continue;
        rows.push_back({c.GetName(), c.GetAttributeHex(u"Bit"), c.GetText(), Attr(c, u"Value"),
                        Attr(c, u"Prefix"), c.GetAttributeInt(u"NoEmpty"), c.GetAttributeInt(u"FontSize")});
    }
    return rows;
}

void ExpectRows(const CXmlNode& root, std::u16string_view name, const std::vector<Row>& expected) {
    const CXmlNode* section = FindTemplateElement(root, name);
    ASSERT_NE(section, nullptr);
    const std::vector<Row> rows = RowsOf(*section);
    ASSERT_EQ(rows.size(), expected.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(QString::fromStdU16String(expected[i].label + u" / " + expected[i].value).toStdString());
        EXPECT_EQ(rows[i].element, expected[i].element);
        EXPECT_EQ(rows[i].bit, expected[i].bit);
        EXPECT_EQ(rows[i].label, expected[i].label);
        EXPECT_EQ(rows[i].value, expected[i].value);
        EXPECT_EQ(rows[i].prefix, expected[i].prefix);
        EXPECT_EQ(rows[i].noEmpty, expected[i].noEmpty);
        EXPECT_EQ(rows[i].fontSize, expected[i].fontSize);
    }
}

void ExpectHeader(const CXmlNode& root, std::u16string_view name, std::u16string_view text, int size) {
    const CXmlNode* section = FindTemplateElement(root, name);
    ASSERT_NE(section, nullptr);
    const CXmlNode* header = section->FindChild(u"Header", nullptr, false);
    ASSERT_NE(header, nullptr);
    EXPECT_EQ(header->GetText(), text);
    EXPECT_EQ(header->GetAttributeInt(u"FontSize"), size);
}

const std::u16string I = u"Item", F = u"FullItem";

} // namespace

TEST(ReportTemplate, BuiltInTemplateHoldsEverySectionAndRow) {
    const auto root = LoadReportTemplate();
    ASSERT_NE(root, nullptr);
    ASSERT_EQ(root->GetChildCount(), 5);
    // The first four sections follow the field masks 0..3; the event-channel rows come last.
    const std::u16string names[] = {u"Chart", u"Channel", u"Event", u"Summary", u"EvtChannel"};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(root->GetChildAt(i)->GetName(), names[i]);

    ExpectHeader(*root, u"Chart", u"#ChartName#", 220);
    ExpectRows(*root, u"Chart",
               {{F, 0x1, u"", u"#ChartComment#", u"Comment: ", 1, 100},
                {I, 0x2, u"Report was created on", u"#ReportTime#", u"", 0, 0},
                {I, 0x4, u"Current sample rate", u"#ChartRate# milliSeconds", u"", 0, 0},
                {I, 0x8, u"Chart start time", u"#ChartStartTime#", u"", 0, 0},
                {I, 0x10, u"Chart stop time", u"#ChartStopTime#", u"", 0, 0},
                {I, 0x20, u"Chart duration", u"#ChartDuration#", u"", 0, 0},
                {I, 0x40, u"Chart identifier", u"#ChartIdentifier#", u"", 0, 0},
                {I, 0x80, u"Number of channels", u"#ChartChannelCount#", u"", 0, 0}});

    ExpectHeader(*root, u"Channel", u"#ChannelName# : #CounterDisplayName#", 180);
    ExpectRows(
        *root, u"Channel",
        {{I, 0x1, u"Comment", u"#ChannelComment#", u"", 1, 0},
         {I, 0x2, u"Type of channel", u"#ChannelType#", u"", 0, 0},
         {I, 0x4, u"Channel Identifier", u"#ChannelIdentifier#", u"", 0, 0},
         {I, 0x8, u"Full counter path", u"#CounterFullPath#", u"", 0, 0},
         {I, 0x10, u"Counter machine name", u"#CounterMachine#", u"", 0, 0},
         {I, 0x20, u"Counter object name", u"#CounterObjectName#", u"", 0, 0},
         {I, 0x40, u"Counter Instance Name", u"#CounterInstanceName#", u"", 0, 0},
         {I, 0x80, u"Counter's Parent Name", u"#CounterParentName#", u"", 1, 0},
         {I, 0x100, u"Counter Name", u"#CounterName#", u"", 0, 0},
         {I, 0x200, u"Minimum scaling", u"#ChannelMinScale# #DataUnits#", u"", 0, 0},
         {I, 0x400, u"Maximum scaling", u"#ChannelMaxScale# #DataUnits#", u"", 0, 0},
         {I, 0x800, u"Number of data points", u"#ChannelNumPoints#", u"", 0, 0},
         {I, 0x1000, u"Start value", u"#ChannelStartValue# #DataUnits#", u"", 0, 0},
         {I, 0x2000, u"Stop value", u"#ChannelStopValue# #DataUnits#", u"", 0, 0},
         {I, 0x4000, u"Maximum value",
          u"#ChannelMaxValue# #DataUnits# at #ChannelMaxValueTime# (#ChannelMaxValueRelTime# from start)",
          u"", 0, 0},
         {I, 0x8000, u"Minimum value",
          u"#ChannelMinValue# #DataUnits# at #ChannelMinValueTime# (#ChannelMinValueRelTime# from start)",
          u"", 0, 0},
         {I, 0x10000, u"Average value", u"#ChannelAvgValue# #DataUnits#", u"", 0, 0},
         {I, 0x20000, u"Difference", u"#ChannelDiffValue# #DataUnits#", u"", 0, 0},
         {I, 0x40000, u"Rate of change", u"#ChannelRateChange#", u"", 0, 0}});

    ExpectHeader(*root, u"Event", u"#EventName#", 180);
    std::vector<Row> event = {{F, 0x1, u"", u"#EventComment#", u"Comment: ", 1, 100},
                              {I, 0x2, u"Event start time", u"#EventStartTime#", u"", 0, 0},
                              {I, 0x4, u"Event stop time", u"#EventStopTime#", u"", 0, 0},
                              {I, 0x8, u"Event duration", u"#EventDuration#", u"", 0, 0},
                              {I, 0x10, u"Event identifier", u"#EventIdentifier#", u"", 0, 0}};
    // Rows that only name the event-channel rows on the fields page: empty and never shown.
    for (std::uint32_t bit = 0x100; bit <= 0x8000; bit <<= 1)
        event.push_back({I, bit, u"", u"", u"", 1, 0});
    ExpectRows(*root, u"Event", event);

    ExpectHeader(*root, u"EvtChannel", u"#ChannelName# : #CounterDisplayName#", 180);
    ExpectRows(*root, u"EvtChannel",
               {{I, 0x100, u"Number of data points in event", u"#ChannelNumPoints#", u"", 0, 0},
                {I, 0x200, u"Value when event started", u"#ChannelStartValue# #DataUnits#", u"", 0, 0},
                {I, 0x400, u"Value when event ended", u"#ChannelStopValue# #DataUnits#", u"", 0, 0},
                {I, 0x800, u"Maximum event value", u"#ChannelMaxValue# #DataUnits# at #ChannelMaxValueTime#",
                 u"", 0, 0},
                {I, 0x1000, u"Minimum event value", u"#ChannelMinValue# #DataUnits# at #ChannelMinValueTime#",
                 u"", 0, 0},
                {I, 0x2000, u"Average event value", u"#ChannelAvgValue# #DataUnits#", u"", 0, 0},
                {I, 0x4000, u"Difference during event", u"#ChannelDiffValue# #DataUnits#", u"", 0, 0},
                {I, 0x8000, u"Rate of change", u"#ChannelRateChange#", u"", 0, 0}});

    const CXmlNode* summary = FindTemplateElement(*root, u"Summary");
    ASSERT_NE(summary, nullptr);
    const CXmlNode* title = summary->FindChild(u"SectionHeader", nullptr, false);
    ASSERT_NE(title, nullptr);
    EXPECT_EQ(title->GetText(), u"Counter Summary");
    EXPECT_EQ(title->GetAttributeInt(u"FontSize"), 220);
    EXPECT_EQ(title->GetAttributeString(u"Desc"),
              u"The following counters are currently being displayed in this chart");
    ExpectHeader(*root, u"Summary", u"#CounterName#", 160);
    ExpectRows(*root, u"Summary",
               {{F, 0x1, u"", u"#CounterDescription#", u"Counter Description: ", 0, 100},
                {I, 0x2, u"Page Numbers", u"", u"", 1, 0}});
}

TEST(ReportTemplate, FieldSectionsListTheFirstFourSectionsWithoutHeaders) {
    const auto sections = LoadReportFieldSections();
    ASSERT_TRUE(sections.has_value());
    ASSERT_EQ(sections->size(), 4u);
    EXPECT_EQ((*sections)[0].name, "Chart");
    EXPECT_EQ((*sections)[1].name, "Channel");
    EXPECT_EQ((*sections)[2].name, "Event");
    EXPECT_EQ((*sections)[3].name, "Summary");
    const std::size_t counts[] = {8, 19, 13, 2};
    for (std::size_t s = 0; s < 4; ++s) {
        const auto& fields = (*sections)[s].fields;
        ASSERT_EQ(fields.size(), counts[s]) << s;
        // Every listed row can be named, explained and switched on its own.
        std::uint32_t seen = 0;
        for (const ReportField& f : fields) {
            EXPECT_FALSE(f.desc.isEmpty()) << s;
            EXPECT_FALSE(f.help.isEmpty()) << f.desc.toStdString();
            EXPECT_EQ(f.bit & (f.bit - 1), 0u) << f.desc.toStdString();
            EXPECT_EQ(seen & f.bit, 0u) << f.desc.toStdString();
            seen |= f.bit;
        }
    }
    EXPECT_EQ((*sections)[3].fields[1].desc, "Page Numbers");
    EXPECT_EQ((*sections)[3].fields[1].bit, kPageNumbersBit);
    EXPECT_EQ((*sections)[2].fields.back().bit, 0x8000u);
}

TEST(ReportTemplate, TextIsCutAtTheEndMarkAndReadFromTheDeclaration) {
    const auto root =
        ParseReportTemplate(u"comment <Chart> before\n<?xml version=\"1.0\"?>\n"
                            u"<Chart><Header>#ChartName#</Header></Chart>\n##END\n<Event></Event>");
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->GetName(), u"<root>");
    ASSERT_EQ(root->GetChildCount(), 1);
    EXPECT_EQ(root->GetChildAt(0)->GetName(), u"Chart");
    // Element names compare exactly.
    EXPECT_EQ(FindTemplateElement(*root, u"chart"), nullptr);
    // No declaration before the end mark: nothing parses.
    EXPECT_EQ(ParseReportTemplate(u"##END<?xml version=\"1.0\"?><Chart/>"), nullptr);
    EXPECT_EQ(ParseReportTemplate(u""), nullptr);
}

TEST(ReportTemplate, DamagedResourceBytesAreRefusedWhole) {
    EXPECT_FALSE(LoadZynFileResource(9999).has_value());
    EXPECT_EQ(DecodeZynFileText("<?xml?>\xC3").value_or(QStringLiteral("none")), QStringLiteral("none"));
    EXPECT_FALSE(DecodeZynFileText("ok \xFF\xFF text").has_value());
    EXPECT_FALSE(DecodeZynFileText(QByteArray("\xFF\xFE\x41\x00\x00\xD8", 6)).has_value())
        << "lone surrogate";
    EXPECT_FALSE(DecodeZynFileText(QByteArray("\xFF\xFE\x41\x00\x42", 5)).has_value()) << "odd length";
    EXPECT_EQ(DecodeZynFileText(QByteArray("\xFF\xFE\x41\x00\x42\x00", 6)).value_or(QString()), "AB");
    EXPECT_EQ(DecodeZynFileText("\xEF\xBB\xBF<?xml").value_or(QString()), "<?xml");
    // A template cut short inside a section still parses; what it lacks is simply not there.
    const QString whole = LoadZynFileResource(kReportTemplateResource).value_or(QString());
    ASSERT_FALSE(whole.isEmpty());
    const QString cut = whole.left(whole.indexOf(QStringLiteral("<Event>")) + 20);
    const auto root = ParseReportTemplate(cut.toStdU16String());
    ASSERT_NE(root, nullptr);
    EXPECT_NE(FindTemplateElement(*root, u"Chart"), nullptr);
    EXPECT_EQ(FindTemplateElement(*root, u"Summary"), nullptr);
}
