// The shared web page of a report: headings by depth, rows as a table, every text escaped.

#include "report/ReportHtml.h"
#include "report/ReportText.h"

#include <gtest/gtest.h>

TEST(ReportHtml, SectionsAsHeadingsRowsAsTableTextsEscaped) {
    CReportSection root;
    CReportSection* chart = root.AddSection("Chart <A> & \"B\"");
    chart->AddRow("Comment: 1 < 2", QString(), 100, true);
    chart->AddRow("Rate", "1,000.00 milliSeconds");
    chart->AddRow("Empty", QString());
    CReportSection* channel = chart->AddSection("CPU : \\\\host\\Processor");
    CReportSection* deep = channel->AddSection("x");
    for (int i = 0; i < 6; ++i)
        deep = deep->AddSection(QString::number(i));
    root.AddSection("Counter Summary");

    const QString html = ReportHtml(root);
    EXPECT_TRUE(html.startsWith("<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n"
                                "<title>Chart &lt;A&gt; &amp; &quot;B&quot;</title>"));
    EXPECT_TRUE(html.contains("<section>\n<h1>Chart &lt;A&gt; &amp; &quot;B&quot;</h1>\n<table>\n"
                              "<tr><td colspan=\"2\">Comment: 1 &lt; 2</td></tr>\n"
                              "<tr><th scope=\"row\">Rate</th><td>1,000.00 milliSeconds</td></tr>\n"
                              "<tr><th scope=\"row\">Empty</th><td></td></tr>\n</table>\n"
                              "<section>\n<h2>CPU : \\\\host\\Processor</h2>\n"
                              "<section>\n<h3>x</h3>\n"));
    EXPECT_TRUE(html.contains("<h6>5</h6>")) << "headings stop at h6";
    EXPECT_FALSE(html.contains("<h7>"));
    EXPECT_EQ(html.count("<section>"), html.count("</section>"));
    EXPECT_TRUE(html.endsWith("<section>\n<h1>Counter Summary</h1>\n</section>\n</body>\n</html>\n"));
    EXPECT_EQ(ReportText(root).left(40), "Chart <A> & \"B\"\r\n\tComment: 1 < 2\r\n\tRate\t");
}
