// The report page as a user sees it: shaded boxes and title bands in the shades the settings store
// may override, leaders only where a value follows, the copied text, the rebuilds the chart's
// changes cause, and the printed pages: where sections break, that nothing runs off a page, and
// the page numbers the summary mask switches.

#include "ReportTestChart.h"
#include "display/ChartColours.h"
#include "display/ChartFonts.h"
#include "document/tests/DocTestUtil.h"
#include "report/ReportBuilder.h"
#include "report/ReportPrint.h"
#include "report/ReportTemplate.h"
#include "report/ReportText.h"
#include "report/ReportView.h"

#include "utils/ZynRegistry.h"

#include <QBuffer>
#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QMenu>
#include <QPainter>
#include <QPdfWriter>
#include <QRegularExpression>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>

using namespace reporttest;

namespace {

// A chart whose report runs over several pages: many channels, two events.
Chart LongChart(int channels) {
    Chart c;
    c.name = u"Long";
    c.times = Seconds(20);
    for (int i = 0; i < channels; ++i) {
        Channel ch;
        ch.name = u"Channel " + QString::number(i).toStdU16String();
        ch.counter = u"Counter " + QString::number(i).toStdU16String();
        ch.units = u"u";
        for (int k = 0; k < 20; ++k)
            ch.values.push_back(k * (i + 1));
        ch.info.name = ch.counter;
        c.channels.push_back(ch);
    }
    c.events.push_back({u"First", u"", kStart + 2 * kSecond, kStart + 8 * kSecond});
    c.events.push_back({u"Second", u"", kStart + 9 * kSecond, kStart + 15 * kSecond});
    return c;
}

void SetShade(const char16_t* name, DWORD value) {
    CZynRegistry* reg = GetUserReg(u"Settings");
    ASSERT_NE(reg, nullptr);
    reg->Store(name, value);
    ReleaseReg(reg);
}

QRgb Rgb(COLORREF c) {
    return ToQColor(c).rgb();
}

const CReportRow* RowLabelled(const CReportSection& s, const QString& label) {
    for (const auto& r : s.Rows())
        if (r->Label() == label) return r.get();
    return nullptr;
}

const ReportRowBox* BoxOf(const ReportLayout& layout, const CReportRow* row) {
    for (const auto& s : layout.sections)
        for (const auto& r : s.rows)
            if (r.row == row) return &r;
    return nullptr;
}

class ReportViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        ui.Install(ctx);
        SetShade(u"ReportBk1", 0);
        SetShade(u"ReportBk2", 0);
    }
    void TearDown() override {
        view.reset();
        doc.reset();
        SetShade(u"ReportBk1", 0);
        SetShade(u"ReportBk2", 0);
    }

    CReportView& Open(const Chart& c, QSize size = {700, 500}) {
        doc = std::make_unique<CTallonChart>(ctx);
        CComPtr<IZynChart> chart = LoadChart(ctx.App(), c);
        EXPECT_TRUE(chart);
        doc->AttachChart(chart);
        view = std::make_unique<CReportView>(doc.get(), ctx);
        QObject::connect(view.get(), &CReportView::statusMessage, [this](const QString& text, int level) {
            status << QStringLiteral("%1:%2").arg(level).arg(text);
        });
        view->resize(size);
        view->show();
        return *view;
    }

    QImage Screen() { return view->viewport()->grab().toImage(); }

    CAppContext ctx;
    FakeUi ui;
    std::unique_ptr<CTallonChart> doc;
    std::unique_ptr<CReportView> view;
    QStringList status;
};

} // namespace

TEST_F(ReportViewTest, BoxesBandsOutlinesAndLeadersInTheirColours) {
    CReportView& v = Open(SmallChart());
    const QImage img = Screen();
    ASSERT_FALSE(v.Layout().sections.empty());
    const ReportSectionBox& chart = v.Layout().sections.front();
    EXPECT_EQ(chart.section->Text(), "Small");
    const COLORREF white = 0xFFFFFF;
    EXPECT_EQ(img.pixel(chart.band.left() + 3, chart.band.top() + 3), Rgb(ContrastShift(white, 64)));
    EXPECT_EQ(img.pixel(chart.box.left() + 3, chart.box.bottom() - 3), Rgb(ContrastShift(white, 32)));
    EXPECT_EQ(img.pixel(chart.box.left(), chart.box.center().y()), Rgb(AutoTextColour(white)));
    // Between two boxes the report's own background.
    const ReportSectionBox& next = v.Layout().sections[1];
    EXPECT_GT(next.box.top(), chart.box.bottom() + 1);
    EXPECT_EQ(img.pixel(chart.box.center().x(), (chart.box.bottom() + next.box.top()) / 2), Rgb(white));
    // Deeper sections are indented.
    EXPECT_GT(next.box.left(), chart.box.left());

    const QRgb text = Rgb(doc->Settings().reportTextColour);
    const auto textPixelsOn = [&](const QLine& line) {
        int n = 0;
        for (int x = line.x1(); x <= line.x2(); ++x)
            n += img.pixel(x, line.y1()) == text;
        return n;
    };
    const CReportSection& channel = *v.Report().Children()[0]->Children()[0];
    const ReportRowBox* withValue = BoxOf(v.Layout(), RowLabelled(channel, "Counter Name"));
    ASSERT_TRUE(withValue && !withValue->leader.isNull());
    const int dots = textPixelsOn(withValue->leader);
    EXPECT_GT(dots, withValue->leader.dx() / 3) << "a dotted line";
    EXPECT_LT(dots, withValue->leader.dx() * 2 / 3 + 2) << "dotted, not solid";

    const CReportRow* empty = RowLabelled(channel, "Counter Instance Name");
    ASSERT_TRUE(empty && empty->Value().isEmpty());
    const ReportRowBox* without = BoxOf(v.Layout(), empty);
    ASSERT_TRUE(without);
    EXPECT_TRUE(without->leader.isNull());
    const int y = without->label.top() + withValue->leader.y1() - withValue->label.top();
    // Just before the value column, where a leader would end and no label reaches.
    EXPECT_EQ(textPixelsOn(QLine(withValue->leader.x2() - 40, y, withValue->leader.x2(), y)), 0)
        << "no leader before an empty value";
}

TEST_F(ReportViewTest, ShadesFromTheSettingsStoreOnlyBetweenOneAnd254) {
    SetShade(u"ReportBk1", 100);
    SetShade(u"ReportBk2", 255);
    CReportView& v = Open(SmallChart());
    EXPECT_EQ(v.Shades().titleBand, 100);
    EXPECT_EQ(v.Shades().box, 32);
    const QImage img = Screen();
    const ReportSectionBox& chart = v.Layout().sections.front();
    EXPECT_EQ(img.pixel(chart.band.left() + 3, chart.band.top() + 3), Rgb(ContrastShift(0xFFFFFF, 100)));
    view.reset();
    SetShade(u"ReportBk1", 0);
    SetShade(u"ReportBk2", 1);
    EXPECT_EQ(Open(SmallChart()).Shades().titleBand, 64);
    EXPECT_EQ(view->Shades().box, 1);
}

TEST_F(ReportViewTest, LongTextsWrapInsideTheirColumns) {
    Chart c = SmallChart();
    c.comment = std::u16string(40, u'w') + u" " + std::u16string(300, u'x');
    c.channels[0].comment = u"{0123456789-0123-4567-89AB-0123456789AB0123456789}";
    CReportView& v = Open(c, {400, 500});
    for (const ReportSectionBox& s : v.Layout().sections) {
        for (const ReportRowBox& r : s.rows) {
            EXPECT_LE(r.label.right(), s.box.right()) << r.row->Label().toStdString();
            if (!r.value.isEmpty()) {
                EXPECT_LE(r.value.right(), s.box.right());
                EXPECT_LT(r.label.right(), r.value.left()) << "the label column ends before the value";
            }
        }
        // Rows follow one another without overlapping.
        for (std::size_t i = 1; i < s.rows.size(); ++i)
            EXPECT_GE(s.rows[i].label.top(), s.rows[i - 1].label.united(s.rows[i - 1].value).bottom());
    }
    const ReportRowBox& comment = v.Layout().sections.front().rows.front();
    EXPECT_GT(comment.label.height(), 3 * QFontMetrics(comment.font).height())
        << "wrapped into several lines";
}

TEST_F(ReportViewTest, CopyPutsTheTextOnTheClipboardAndSaysSo) {
    CReportView& v = Open(SmallChart());
    QGuiApplication::clipboard()->clear();
    v.Action(CReportView::kCmdCopy)->trigger();
    const QString copied = QGuiApplication::clipboard()->text();
    EXPECT_EQ(copied, ReportText(v.Report()));
    EXPECT_TRUE(copied.startsWith("Small\r\n\tReport was created on\t"));
    EXPECT_EQ(status, QStringList({"0:Report has been placed in to the Clipboard."}));
    v.UpdateActions();
    EXPECT_EQ(v.Action(CReportView::kCmdCopy)->text(), "&Copy (Report)\tCtrl+C");
    EXPECT_TRUE(v.Action(CReportView::kCmdCopy)->isEnabled());
    // The context menu: Refresh Data, Copy, Properties.
    QStringList items;
    for (QAction* a : v.ContextMenu()->actions())
        items << a->data().toString();
    EXPECT_EQ(items, QStringList({"32787", "57634", "32802"}));
}

TEST_F(ReportViewTest, RebuildsOnlyOnTheChangesThatMatter) {
    CReportView& v = Open(SmallChart());
    const int built = v.Builds();
    doc->UpdateAllViews(CTallonChart::kHintRefresh);
    doc->UpdateAllViews(CTallonChart::kHintSettings);
    EXPECT_EQ(v.Builds(), built) << "settings of another sheet";
    v.SetPropertiesOpen(true);
    doc->UpdateAllViews(CTallonChart::kHintSettings);
    EXPECT_EQ(v.Builds(), built + 1) << "its own sheet applied";
    v.SetPropertiesOpen(false);
    doc->UpdateAllViews(CTallonChart::kHintRelayout);
    EXPECT_EQ(v.Builds(), built + 2);

    CComPtr<IZynChartPrivate> priv;
    ASSERT_EQ(CComPtr<IZynChart>(doc->Chart()).QueryInterface(&priv), S_OK);
    const auto channels = doc->Channels();
    ASSERT_EQ(channels.size(), 1u);
    // New samples alone leave the report as it is.
    priv->ClearAggregatePropChanges(-1);
    CComPtr<IZynDataSet> data;
    channels[0]->get_Data(&data);
    LONG count = 0;
    ASSERT_EQ(channels[0]->AddValueRelTime(9.0, 5000, &count), S_OK);
    v.OnUpdate(CTallonChart::kHintChartNotify);
    EXPECT_EQ(v.Builds(), built + 2);
    EXPECT_TRUE(ReportText(v.Report()).contains("Number of data points\t 5"));
    v.Refresh();
    EXPECT_TRUE(ReportText(v.Report()).contains("Number of data points\t 6"));
    // A channel hidden: its section goes.
    priv->ClearAggregatePropChanges(-1);
    channels[0]->put_Visible(0);
    v.OnUpdate(CTallonChart::kHintChartNotify);
    EXPECT_EQ(v.Builds(), built + 4);
    EXPECT_FALSE(ReportText(v.Report()).contains("Load : Load counter"));
}

TEST_F(ReportViewTest, MissingTemplateLeavesAnEmptyPageAndSaysWhy) {
    CReportView& v = Open(SmallChart());
    v.loadTemplate = [] { return std::unique_ptr<CXmlNode>(); };
    v.Refresh();
    EXPECT_TRUE(v.Report().IsEmpty());
    EXPECT_EQ(status, QStringList({"2:Failed to load the report template"}));
    EXPECT_EQ(ui.errors, QStringList({"Failed to load the report template"}));
    v.Action(CReportView::kCmdCopy)->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QString());
}

TEST_F(ReportViewTest, DoubleClickAndPropertiesAskForTheSheet) {
    CReportView& v = Open(SmallChart());
    int asked = 0;
    QObject::connect(&v, &CReportView::propertiesRequested, [&] { ++asked; });
    v.Action(CReportView::kCmdReportProperties)->trigger();
    QTest::mouseDClick(v.viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(50, 50));
    EXPECT_EQ(asked, 2);
    int menu = 0;
    QObject::connect(doc.get(), &CTallonChart::docMenuChanged, [&](int id) { menu = id; });
    v.OnActivateView();
    EXPECT_EQ(menu, 150);
    EXPECT_TRUE(CReportView::DisabledOnReport(32788));
    EXPECT_TRUE(CReportView::DisabledOnReport(57637));
    EXPECT_FALSE(CReportView::DisabledOnReport(57634));
}

// Pagination and printing.

namespace {

class ReportPagesTest : public ReportViewTest {
protected:
    void Build(const Chart& c) {
        chart = LoadChart(ctx.App(), c);
        ASSERT_TRUE(chart);
        ReportInputs in;
        in.chart = chart;
        in.settings = &settings;
        in.reportTime = kStart;
        ASSERT_EQ(BuildReport(root, fields, in), ReportBuildResult::Built);
        FinishChartSettings(settings, false);
        style = ReportStyle::FromSettings(settings, 96, {});
    }
    std::vector<const CReportSection*> Flat() const {
        std::vector<const CReportSection*> out;
        std::function<void(const CReportSection&)> walk = [&](const CReportSection& s) {
            for (const auto& c : s.Children()) {
                out.push_back(c.get());
                walk(*c);
            }
        };
        walk(root);
        return out;
    }

    ChartSettings settings;
    CComPtr<IZynChart> chart;
    CReportSection root;
    CReportFieldMap fields;
    ReportStyle style;
    QImage probe{1, 1, QImage::Format_RGB32};
};

} // namespace

TEST_F(ReportPagesTest, EveryTopSectionStartsAPageAndNothingRunsOffOne) {
    Build(LongChart(12));
    QPainter painter(&probe);
    // A tall page: each top-level section (chart, two events, summary) on a page of its own.
    EXPECT_EQ(PaginateReport(painter, QRect(0, 0, 800, 1 << 20), root, style), 4);
    for (const CReportSection* s : Flat())
        EXPECT_EQ(s->Page(), s->Level() == 1 ? s->Page() : s->Parent()->Page());
    EXPECT_EQ(root.Children()[1]->Page(), 2);
    EXPECT_EQ(root.Children()[3]->Page(), 4);

    // Short pages: deeper sections move on when their box would not end on the page.
    for (int height : {300, 420, 555, 700, 1000}) {
        SCOPED_TRACE(height);
        const QRect page(0, 0, 800, height);
        const int pages = PaginateReport(painter, page, root, style);
        EXPECT_GT(pages, 4);
        int sections = 0;
        for (int p = 1; p <= pages; ++p) {
            const ReportLayout layout = LayoutReport(painter, page, root, style, p);
            EXPECT_FALSE(layout.sections.empty()) << "page " << p;
            sections += int(layout.sections.size());
            for (const ReportSectionBox& b : layout.sections)
                EXPECT_LE(b.box.bottom(), page.bottom())
                    << b.section->Text().toStdString() << " on page " << p;
        }
        EXPECT_EQ(sections, int(Flat().size())) << "every section printed once";
        // Pages only move forward.
        int last = 0;
        for (const CReportSection* s : Flat()) {
            EXPECT_GE(s->Page(), last);
            last = s->Page();
        }
    }
}

TEST_F(ReportPagesTest, ASectionMovesOnExactlyWhenItsBoxWouldPassTheFoot) {
    Build(LongChart(6));
    QPainter painter(&probe);
    // Laid out on one endless page, the chart's boxes end where they would on a first page.
    const ReportLayout endless = LayoutReport(painter, QRect(0, 0, 800, 1 << 20), root, style);
    const CReportSection& chartSection = *root.Children()[0];
    ASSERT_EQ(endless.sections[3].section, chartSection.Children()[2].get());
    const int bottom = endless.sections[3].box.bottom() + 1; // the third channel's box
    PaginateReport(painter, QRect(0, 0, 800, bottom), root, style);
    EXPECT_EQ(chartSection.Children()[2]->Page(), 1) << "ends on the last line of the page";
    EXPECT_EQ(chartSection.Children()[3]->Page(), 2);
    PaginateReport(painter, QRect(0, 0, 800, bottom - 1), root, style);
    EXPECT_EQ(chartSection.Children()[1]->Page(), 1);
    EXPECT_EQ(chartSection.Children()[2]->Page(), 2) << "one pixel short";
    // On its new page the section is laid out at the top, as pagination counted.
    const ReportLayout second = LayoutReport(painter, QRect(0, 0, 800, bottom - 1), root, style, 2);
    ASSERT_FALSE(second.sections.empty());
    EXPECT_EQ(second.sections[0].section, chartSection.Children()[2].get());
    EXPECT_EQ(second.sections[0].box.top(), 0);
}

TEST_F(ReportPagesTest, PageNumbersFollowTheSummaryMask) {
    Build(SmallChart());
    const QRect page(0, 0, 600, 800);
    const auto footInk = [&](bool numbers) {
        QImage img(page.size(), QImage::Format_RGB32);
        img.fill(Qt::white);
        QPainter painter(&img);
        const QRect body = ReportBodyRect(page, style, img, numbers);
        const int pages = PaginateReport(painter, body, root, style);
        DrawReportPage(painter, page, body, root, style, 1, pages, numbers);
        painter.end();
        // Ink in the middle of the foot, where the page number goes (the watermark is at the right).
        int n = 0;
        for (int y = body.bottom() + 1; y <= page.bottom(); ++y)
            for (int x = page.width() / 3; x < page.width() * 2 / 3; ++x)
                n += img.pixel(x, y) != qRgb(255, 255, 255);
        return n;
    };
    EXPECT_GT(footInk(true), 20);
    EXPECT_EQ(footInk(false), 0);
}

TEST_F(ReportPagesTest, APdfHasOnePageForEachTopSectionOfASmallReport) {
    Build(SmallChart());
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    int pages = 0;
    {
        QPdfWriter pdf(&buffer);
        EXPECT_EQ(PrintReport(pdf, root, settings, {}, {}, &pages), 3);
    }
    EXPECT_EQ(pages, 3) << "chart with its channel, the event, the summary";
    static const QRegularExpression page(QStringLiteral("/Type\\s*/Page\\b(?!s)"));
    EXPECT_EQ(QString::fromLatin1(buffer.data()).count(page), 3);
    // A range prints only its pages.
    QBuffer part;
    part.open(QIODevice::WriteOnly);
    {
        QPdfWriter pdf(&part);
        EXPECT_EQ(PrintReport(pdf, root, settings, {}, {2, 3}), 2);
    }
    EXPECT_EQ(QString::fromLatin1(part.data()).count(page), 2);

    // The report's print orientation: 0 landscape, 1 portrait, anything else the device's own.
    QBuffer sink;
    sink.open(QIODevice::WriteOnly);
    QPdfWriter pdf(&sink);
    settings.reportPrintOrientation = 0;
    ApplyReportOrientation(pdf, settings);
    EXPECT_EQ(pdf.pageLayout().orientation(), QPageLayout::Landscape);
    settings.reportPrintOrientation = 2;
    ApplyReportOrientation(pdf, settings);
    EXPECT_EQ(pdf.pageLayout().orientation(), QPageLayout::Landscape) << "left as the device has it";
    settings.reportPrintOrientation = 1;
    ApplyReportOrientation(pdf, settings);
    EXPECT_EQ(pdf.pageLayout().orientation(), QPageLayout::Portrait);
}

// On paper a leader is a row of dots a screen pixel wide and apart and a box outline a screen pixel
// thick, and a preview that draws the page scaled down keeps them dots (a pattern in device pixels
// came out as long dashes there).
TEST_F(ReportPagesTest, LeadersAreDotsOnPaperAndInAScaledPreview) {
    Build(SmallChart());
    constexpr int kDpi = 384; // four device pixels to a screen pixel
    const QRect page(0, 0, 2400, 3200);
    QImage paper(page.size(), QImage::Format_RGB32);
    paper.setDotsPerMeterX(int(std::lround(kDpi / 0.0254)));
    paper.setDotsPerMeterY(int(std::lround(kDpi / 0.0254)));
    const ReportStyle ink = ReportStyle::FromSettings(settings, kDpi, {});
    const QRgb fill = Rgb(ContrastShift(ink.background, ink.shades.box));
    ReportLayout layout;
    {
        QPainter painter(&paper);
        layout = LayoutReport(painter, page, root, ink);
    }
    const CReportSection& channel = *root.Children()[0]->Children()[0];
    const ReportRowBox* row = BoxOf(layout, RowLabelled(channel, "Counter Name"));
    ASSERT_TRUE(row && !row->leader.isNull());
    // The longest run of text pixels along the leader, in an image drawn at `scale`.
    const auto longestRun = [&](double scale, QImage& img, int dy) {
        img.fill(Qt::white);
        {
            QPainter painter(&img);
            painter.scale(scale, scale);
            DrawReport(painter, layout, ink, {});
        }
        const QLine at = QLineF(QPointF(row->leader.p1()) * scale, QPointF(row->leader.p2()) * scale)
                             .translated(0, dy)
                             .toLine();
        int longest = 0, run = 0, dots = 0;
        for (int x = at.x1(); x <= at.x2(); ++x) {
            // Ink: darker than the box the leader is drawn on (a scaled dot may be blended).
            const bool on = qGray(img.pixel(x, at.y1())) < qGray(fill) - 24;
            if (on && run == 0) ++dots;
            run = on ? run + 1 : 0;
            longest = std::max(longest, run);
        }
        return std::pair(longest, dots);
    };
    const auto [onPaper, dotsOnPaper] = longestRun(1.0, paper, 0);
    EXPECT_GE(onPaper, 3) << "a dot as long as a screen pixel";
    EXPECT_LE(onPaper, 5);
    EXPECT_GT(dotsOnPaper, row->leader.dx() / 12);
    int thick = 0;
    for (int dy = -1; dy <= 1; ++dy)
        thick += longestRun(1.0, paper, dy).first > 0;
    EXPECT_EQ(thick, 3) << "as thick as a screen pixel";
    // So is the outline of a box.
    const QRect box = layout.sections.front().box;
    const QRgb edge = Rgb(AutoTextColour(ink.background));
    int outline = 0;
    for (int x = box.left() - 4; x <= box.left() + 4; ++x)
        outline += paper.pixel(x, box.center().y()) == edge;
    EXPECT_GE(outline, 3);

    QImage preview(page.size() / 4, QImage::Format_RGB32);
    // The row of pixels the scaled leader lands on.
    std::pair<int, int> inPreview{0, 0};
    for (int dy = -1; dy <= 1; ++dy)
        inPreview = std::max(inPreview, longestRun(0.25, preview, dy),
                             [](const auto& a, const auto& b) { return a.second < b.second; });
    EXPECT_LE(inPreview.first, 2) << "dots, not dashes";
    EXPECT_GT(inPreview.second, row->leader.dx() / 4 / 4);
}
