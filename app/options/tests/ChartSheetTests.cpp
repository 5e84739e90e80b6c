// "Chart Properties" and "Report Properties" of a chart document, run as the program runs them
// (modal, through their entry points) and driven through their controls.

#include "SheetFixture.h"
#include "display/ChartColours.h"
#include "display/ChartFonts.h"
#include "options/AxisPage.h"
#include "options/ChannelText.h"
#include "options/ChartPage.h"
#include "options/ChartPropertySheet.h"
#include "options/DisplayPage.h"
#include "options/GridPage.h"
#include "options/NotesPage.h"
#include "options/PrintPage.h"
#include "options/ReportFieldsPage.h"
#include "resources/ZynStrings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>

namespace {

constexpr double kMinute = kMinuteDays;

double RateSecondsAtSliderOf(const CDisplayPage* page) {
    return zyn::options::RateSecondsAtSlider(page->RateSlider()->value());
}

LONG CountOf(IZynChannel* channel) {
    LONG n = 0;
    channel->get_DataCount(&n);
    return n;
}

class ChartSheetTest : public SheetFixture {
protected:
    // Runs "Chart Properties" on the view at `page`; `drive` works the sheet and closes it.
    int RunChart(const std::function<void(CChartPropertySheet*)>& drive, int page = 0) {
        auto driven = OnNextModal<CChartPropertySheet>(drive);
        const int result = RunChartProperties(*doc, view.get(), page, nullptr);
        EXPECT_EQ(driven->count, 1) << "the sheet never showed";
        return result;
    }
    int RunReport(const std::function<void(CChartPropertySheet*)>& drive) {
        auto driven = OnNextModal<CChartPropertySheet>(drive);
        const int result = RunReportProperties(
            *doc, [this](bool open) { reportFlag << open; }, nullptr);
        EXPECT_EQ(driven->count, 1) << "the sheet never showed";
        return result;
    }
    QList<bool> reportFlag;
};

TEST_F(ChartSheetTest, SheetsHaveTheirPagesInOrder) {
    MakeView();
    CChartPropertySheet chart(CChartPropertySheet::Kind::Chart, *doc, nullptr);
    EXPECT_EQ(chart.windowTitle(), QStringLiteral("Chart Properties"));
    EXPECT_EQ(TabTitles(chart), (QStringList{"Display", "Chart", "Grid", "Axis", "Print", "Notes"}));
    CChartPropertySheet report(CChartPropertySheet::Kind::Report, *doc, nullptr);
    EXPECT_EQ(report.windowTitle(), QStringLiteral("Report Properties"));
    EXPECT_EQ(TabTitles(report), (QStringList{"Report", "Report Fields", "Print", "Notes"}));
    auto* page = dynamic_cast<CChartPage*>(report.Page(0));
    ASSERT_TRUE(page);
    EXPECT_TRUE(page->AutoScrollCheck()->isHidden()) << "the report variant has no auto-scroll";
    EXPECT_FALSE(report.ApplyButton()->isEnabled()) << "nothing to apply yet";
}

TEST_F(ChartSheetTest, OpensAtThePageAskedForWithThePropertiesFlagSet) {
    MakeView();
    RunChart(
        [&](CChartPropertySheet* sheet) {
            EXPECT_EQ(sheet->ActivePage(), CChartPropertySheet::kAxisPage);
            EXPECT_TRUE(view->PropertiesOpen());
        },
        3);
    EXPECT_FALSE(view->PropertiesOpen());
}

// Every page's controls land in the record at the offsets of the stored format.
TEST_F(ChartSheetTest, ApplyStoresEveryPageAtItsRecordOffset) {
    MakeView();
    QSignalSpy status(doc.get(), &CTallonChart::statusMessage);
    colourAnswer = ZynRGB(0, 200, 0);
    fontAnswer = QFont(QStringLiteral("DejaVu Serif"));
    fontAnswer->setPixelSize(15);
    fontColourAnswer = ZynRGB(1, 2, 3);
    const int result = RunChart([&](CChartPropertySheet* sheet) {
        auto* display = PageOf<CDisplayPage>(sheet, 0);
        Type(display->RateEdit(), QStringLiteral("2.5"));
        Type(display->ViewEdit(), QStringLiteral("10 minutes"), true);
        ClickBox(display->AbsoluteRadio());
        display->FormatCombo()->setFocus();
        QTest::keyClick(display->FormatCombo(), Qt::Key_Down);
        EXPECT_EQ(display->FormatCombo()->currentText(), QStringLiteral("hh:mm"));

        auto* chart = PageOf<CChartPage>(sheet, 1);
        QTest::mouseClick(chart->Colours()->Button(2), Qt::LeftButton);
        ClickBox(chart->AutoColourCheck());
        ClickBox(chart->AutoScrollCheck());
        QTest::mouseClick(chart->FontButton(), Qt::LeftButton);

        auto* grid = PageOf<CGridPage>(sheet, 2);
        QTest::mouseDClick(grid->Colours()->Button(13), Qt::LeftButton);
        ClickBox(grid->TickRadio(3));

        auto* axis = PageOf<CAxisPage>(sheet, 3);
        ClickBox(axis->XCheck(2));
        ClickBox(axis->YCheck(0));
        ClickBox(axis->SpacingRadio(2));

        auto* print = PageOf<CPrintPage>(sheet, 4);
        print->ChartOrientation()->setCurrentIndex(1);
        ClickBox(print->ChartFriendly());
        print->ReportOrientation()->setCurrentIndex(2);

        auto* notes = PageOf<CNotesPage>(sheet, 5);
        notes->Edit()->selectAll();
        QTest::keyClicks(notes->Edit(), QStringLiteral("Load test at noon"));

        EXPECT_TRUE(sheet->ApplyButton()->isEnabled());
        QTest::mouseClick(sheet->ApplyButton(), Qt::LeftButton);
        EXPECT_FALSE(sheet->ApplyButton()->isEnabled());
        QTest::mouseClick(sheet->OkButton(), Qt::LeftButton);
    });
    EXPECT_EQ(result, QDialog::Accepted);

    RefreshStoredFonts(doc->Settings()); // as saving does
    const ChartSettingsBytes b = WriteChartSettings(doc->Settings());
    EXPECT_EQ(U32At(b, 164), 2500u) << "sample rate";
    EXPECT_NEAR(F64At(b, 168), 10 * kMinute, 1e-15) << "view span";
    EXPECT_EQ(U32At(b, 28), 0u) << "time mode absolute";
    EXPECT_EQ(U32At(b, 36), 1u) << "absolute format hh:mm";
    EXPECT_EQ(U32At(b, 32), 1u) << "relative format kept";
    EXPECT_EQ(U32At(b, 40), ZynRGB(222, 184, 135)) << "background Burl Wood";
    EXPECT_EQ(U32At(b, 60), 2u) << "background palette index";
    EXPECT_EQ(b[20], 1) << "automatic text colour";
    EXPECT_EQ(b[320], 0) << "auto-scroll off";
    EXPECT_EQ(U32At(b, 48), ZynRGB(1, 2, 3)) << "text colour from the font dialog";
    EXPECT_EQ(U32At(b, 72), std::uint32_t(-15)) << "chart font height";
    EXPECT_EQ(b[72 + 28], 'D') << "chart font face";
    EXPECT_EQ(colourAsked, 0xFFFF80u) << "the colour dialog starts from the custom grid colour";
    EXPECT_EQ(U32At(b, 44), ZynRGB(0, 200, 0)) << "grid colour";
    EXPECT_EQ(U32At(b, 56), ZynRGB(0, 200, 0)) << "custom grid colour";
    EXPECT_EQ(U32At(b, 64), 13u) << "grid palette index: custom";
    EXPECT_EQ(U32At(b, 24), 3u) << "tick size large";
    EXPECT_EQ(b[6], 1) << "X grid lines";
    EXPECT_EQ(b[12], 0) << "Y minor ticks";
    EXPECT_EQ(U32At(b, 8), 2u) << "X spacing tight";
    EXPECT_EQ(U32At(b, 16), 2u) << "Y spacing tight";
    EXPECT_EQ(U32At(b, 300), 1u) << "chart orientation portrait";
    EXPECT_EQ(b[293], 0) << "chart printer-friendly colours off";
    EXPECT_EQ(U32At(b, 296), 2u) << "report orientation printer default";
    EXPECT_EQ(b[292], 1) << "report printer-friendly colours kept";

    LONG rate = 0;
    doc->Chart()->get_Rate(&rate);
    EXPECT_EQ(rate, 2500) << "the rate reaches the chart";
    EXPECT_EQ(Comment(), QStringLiteral("Load test at noon"));
    EXPECT_NEAR(view->TimeSpan(), 10 * kMinute, 1e-15) << "the view follows the applied span";
    EXPECT_FALSE(view->AutoScroll());
    ASSERT_GE(status.size(), 2);
    EXPECT_EQ(status.at(0).at(0).toString(), QStringLiteral("Applying configuration changes"));
    EXPECT_EQ(status.last().at(0).toString(), QStringLiteral("Applying configuration changes"));
}

TEST_F(ChartSheetTest, CancelAfterApplyRestoresEverythingAndSaysSo) {
    MakeView();
    doc->Chart()->put_Comment(ToBstr(QStringLiteral("before")));
    view->SetZoom(10 * kMinute);
    const ChartSettingsBytes before = WriteChartSettings(doc->Settings());
    ASSERT_NEAR(doc->Settings().viewSpan, 3 * kMinute, 1e-15) << "zooming leaves the record alone";
    QSignalSpy status(doc.get(), &CTallonChart::statusMessage);
    RunChart([&](CChartPropertySheet* sheet) {
        auto* display = PageOf<CDisplayPage>(sheet, 0);
        EXPECT_EQ(display->ViewEdit()->text(), QStringLiteral("10.00 minutes")) << "the view's zoom";
        Type(display->RateEdit(), QStringLiteral("0.5"));
        Type(display->ViewEdit(), QStringLiteral("1 hour"), true);
        QTest::mouseClick(PageOf<CChartPage>(sheet, 1)->Colours()->Button(1), Qt::LeftButton);
        ClickBox(PageOf<CAxisPage>(sheet, 3)->YCheck(2));
        auto* notes = PageOf<CNotesPage>(sheet, 5);
        notes->Edit()->selectAll();
        QTest::keyClicks(notes->Edit(), QStringLiteral("after"));
        QTest::mouseClick(sheet->ApplyButton(), Qt::LeftButton);
        EXPECT_EQ(doc->Settings().ColorBackGround, 0xFFFFFFu) << "applied to the live record";
        EXPECT_EQ(Comment(), QStringLiteral("after"));
        EXPECT_NEAR(view->TimeSpan(), 1.0 / 24, 1e-12);
        QTest::mouseClick(sheet->CancelButton(), Qt::LeftButton);
    });
    EXPECT_EQ(WriteChartSettings(doc->Settings()), before);
    EXPECT_EQ(Comment(), QStringLiteral("before"));
    LONG rate = 0;
    doc->Chart()->get_Rate(&rate);
    EXPECT_EQ(rate, 1000);
    EXPECT_NEAR(view->TimeSpan(), 10 * kMinute, 1e-15) << "the view's own zoom comes back";
    ASSERT_FALSE(status.isEmpty());
    EXPECT_EQ(status.last().at(0).toString(), LoadZynString(50082));
    EXPECT_EQ(status.last().at(0).toString(),
              QStringLiteral("Changes not saved. Reverting to previous settings."));
}

TEST_F(ChartSheetTest, CancelWithoutApplyChangesNothingAndSaysNothing) {
    MakeView();
    const ChartSettingsBytes before = WriteChartSettings(doc->Settings());
    QSignalSpy status(doc.get(), &CTallonChart::statusMessage);
    const int result = RunChart([&](CChartPropertySheet* sheet) {
        Type(PageOf<CDisplayPage>(sheet, 0)->RateEdit(), QStringLiteral("30"));
        ClickBox(PageOf<CGridPage>(sheet, 2)->TickRadio(0));
        ClickBox(PageOf<CAxisPage>(sheet, 3)->SpacingRadio(0));
        QTest::mouseClick(sheet->CancelButton(), Qt::LeftButton);
    });
    EXPECT_EQ(result, QDialog::Rejected);
    EXPECT_EQ(WriteChartSettings(doc->Settings()), before);
    EXPECT_TRUE(status.isEmpty());
}

TEST_F(ChartSheetTest, AStoredPaletteIndexOutsideThePaletteSelectsTheCustomEntry) {
    MakeView();
    doc->Settings().backgroundPaletteIndex = 20;
    doc->Settings().gridPaletteIndex = 20;
    RunChart([&](CChartPropertySheet* sheet) {
        CColourChooser* background = PageOf<CChartPage>(sheet, 1)->Colours();
        EXPECT_EQ(background->Selected(), 13);
        EXPECT_TRUE(background->Button(13)->isChecked());
        EXPECT_FALSE(background->Button(12)->isChecked());
        EXPECT_EQ(PageOf<CGridPage>(sheet, 2)->Colours()->Selected(), 13);
        QTest::mouseClick(sheet->OkButton(), Qt::LeftButton);
    });
    EXPECT_EQ(doc->Settings().backgroundPaletteIndex, 13u);
}

TEST_F(ChartSheetTest, PaletteButtonsStoreTheirEntryAndNoneTheWindowColour) {
    MakeView();
    RunChart([&](CChartPropertySheet* sheet) {
        auto* chart = PageOf<CChartPage>(sheet, 1);
        EXPECT_EQ(chart->Colours()->Button(4)->toolTip(), QStringLiteral("Slate Gray"));
        EXPECT_EQ(chart->Colours()->Button(12)->text(), QStringLiteral("None"));
        QTest::mouseClick(chart->Colours()->Button(12), Qt::LeftButton);
        EXPECT_EQ(sheet->Working().ColorBackGround, SystemWindowColour());
        EXPECT_EQ(sheet->Working().backgroundPaletteIndex, 12u);
        // A double click on Custom... (its first click selects the entry) that the colour dialog
        // cancels keeps the custom colour.
        QTest::mouseClick(chart->Colours()->Button(13), Qt::LeftButton);
        QTest::mouseDClick(chart->Colours()->Button(13), Qt::LeftButton);
        EXPECT_EQ(sheet->Working().ColorBackGround, 0xFF8080u);
        EXPECT_EQ(sheet->Working().backgroundPaletteIndex, 13u);
        for (int i = 0; i < 14; ++i)
            EXPECT_EQ(chart->Colours()->Button(i)->isChecked(), i == 13) << i;

        auto* grid = PageOf<CGridPage>(sheet, 2);
        ClickBox(grid->AutoColourCheck());
        EXPECT_EQ(sheet->Working().gridColourAuto, 1);
        for (int i = 0; i < 14; ++i)
            EXPECT_FALSE(grid->Colours()->Button(i)->isEnabled()) << "automatic grid colour";
        ClickBox(grid->AutoColourCheck());
        EXPECT_TRUE(grid->Colours()->Button(0)->isEnabled());
    });
}

TEST_F(ChartSheetTest, SwitchingTheTimeModeKeepsEachModesFormat) {
    MakeView();
    doc->Settings().timeMode = 1;
    doc->Settings().relativeTimeFormat = 2;
    doc->Settings().absoluteTimeFormat = 1;
    RunChart([&](CChartPropertySheet* sheet) {
        auto* display = PageOf<CDisplayPage>(sheet, 0);
        QComboBox* format = display->FormatCombo();
        EXPECT_EQ(format->currentText(), QStringLiteral("ss"));
        ClickBox(display->AbsoluteRadio());
        EXPECT_EQ(format->count(), 2);
        EXPECT_EQ(format->currentText(), QStringLiteral("hh:mm"));
        format->setFocus();
        QTest::keyClick(format, Qt::Key_Up);
        EXPECT_EQ(format->currentText(), QStringLiteral("hh:mm:ss"));
        ClickBox(display->RelativeRadio());
        EXPECT_EQ(format->count(), 3);
        EXPECT_EQ(format->currentText(), QStringLiteral("ss"));
        ClickBox(display->AbsoluteRadio());
        EXPECT_EQ(format->currentText(), QStringLiteral("hh:mm:ss"));
        QTest::mouseClick(sheet->OkButton(), Qt::LeftButton);
    });
    EXPECT_EQ(doc->Settings().timeMode, 0u);
    EXPECT_EQ(doc->Settings().absoluteTimeFormat, 0u);
    EXPECT_EQ(doc->Settings().relativeTimeFormat, 2u);
}

TEST_F(ChartSheetTest, TypedRatesAreClampedAndMoveTheSlider) {
    MakeView();
    RunChart([&](CChartPropertySheet* sheet) {
        auto* display = PageOf<CDisplayPage>(sheet, 0);
        Type(display->RateEdit(), QStringLiteral("10"));
        EXPECT_EQ(RateSecondsAtSliderOf(display), 10.0);
        display->RateSlider()->setValue(100);
        EXPECT_EQ(display->RateEdit()->text(), QStringLiteral("1000"));
        Type(display->RateEdit(), QStringLiteral("0.05"));
        EXPECT_EQ(display->RateSlider()->value(), 0);
        QTest::mouseClick(sheet->ApplyButton(), Qt::LeftButton);
        EXPECT_EQ(doc->Settings().sampleRate, 200u);
        Type(display->RateEdit(), QStringLiteral("100000"), true);
        EXPECT_EQ(display->RateEdit()->text(), QStringLiteral("86400")) << "shown clamped once typed";
        QTest::mouseClick(sheet->OkButton(), Qt::LeftButton);
    });
    EXPECT_EQ(doc->Settings().sampleRate, 86400000u);
}

TEST_F(ChartSheetTest, NotesShowTheHintWhichIsNeverStored) {
    MakeView();
    RunChart([&](CChartPropertySheet* sheet) {
        auto* notes = PageOf<CNotesPage>(sheet, 5);
        EXPECT_EQ(notes->Edit()->toPlainText(),
                  QStringLiteral(
                      "Enter any notes or comments for this chart here.\n\nYour notes will be saved with "
                      "the chart and will be included as part of the report."));
        QTest::mouseClick(sheet->ApplyButton(), Qt::LeftButton);
        EXPECT_EQ(Comment(), QString()) << "the hint is not a comment";
        notes->Edit()->setPlainText(QString(70000, u'x'));
        EXPECT_EQ(notes->Edit()->toPlainText().size(), CNotesPage::kMaxLength);
        QTest::mouseClick(sheet->OkButton(), Qt::LeftButton);
    });
    EXPECT_EQ(Comment().size(), CNotesPage::kMaxLength);
}

TEST_F(ChartSheetTest, ViewAllDataIsStoredAsMinusOneAndZoomsToTheData) {
    Record(20);
    MakeView();
    RunChart([&](CChartPropertySheet* sheet) {
        auto* display = PageOf<CDisplayPage>(sheet, 0);
        display->ViewSlider()->setValue(100);
        EXPECT_EQ(display->ViewEdit()->text(), QStringLiteral("View all data"));
        QTest::mouseClick(sheet->OkButton(), Qt::LeftButton);
    });
    EXPECT_EQ(doc->Settings().viewSpan, -1.0);
    EXPECT_NEAR(view->TimeSpan(), 20 * kMinute, 1e-9);
}

TEST_F(ChartSheetTest, PreviewsDrawTheWorkingRecord) {
    MakeView();
    RunChart([&](CChartPropertySheet* sheet) {
        auto* chart = PageOf<CChartPage>(sheet, 1);
        QTest::mouseClick(chart->Colours()->Button(1), Qt::LeftButton); // white
        const QImage image = chart->Preview()->Render(QSize(400, 220));
        int white = 0, red = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const QRgb p = image.pixel(x, y);
                white += p == qRgb(255, 255, 255);
                red += p == qRgb(255, 0, 0);
            }
        EXPECT_GT(white, image.width() * image.height() / 3) << "the chosen background";
        EXPECT_GT(red, 40) << "the sample's first channel";

        auto* axis = PageOf<CAxisPage>(sheet, 3);
        auto gridPixels = [&] {
            const QImage img = axis->Preview()->Render(QSize(400, 220));
            const QRgb grid = ToQColor(EffectiveGridColour(sheet->Working())).rgb();
            int n = 0;
            for (int y = 0; y < img.height(); ++y)
                for (int x = 0; x < img.width(); ++x)
                    n += img.pixel(x, y) == grid;
            return n;
        };
        const int without = gridPixels();
        ClickBox(axis->XCheck(2));
        ClickBox(axis->YCheck(2));
        EXPECT_GT(gridPixels(), without + 200) << "grid lines appear in the preview";
    });
}

TEST_F(ChartSheetTest, ReportSheetEditsTheReportColoursAndFieldMasks) {
    MakeView();
    RunReport([&](CChartPropertySheet* sheet) {
        EXPECT_EQ(reportFlag, QList<bool>{true}) << "the report view's properties flag";
        auto* report = PageOf<CChartPage>(sheet, 0);
        EXPECT_EQ(report->Colours()->Button(4)->toolTip(), QStringLiteral("Chocolate"));
        EXPECT_EQ(report->Colours()->Selected(), 1) << "white, the default report background";
        QTest::mouseClick(report->Colours()->Button(4), Qt::LeftButton);

        auto* fields = PageOf<CReportFieldsPage>(sheet, 1);
        ASSERT_TRUE(fields->TemplateLoaded());
        QStringList captions;
        for (int i = 0; i < 4; ++i)
            captions << fields->SectionRadio(i)->text();
        EXPECT_EQ(captions, (QStringList{"Chart", "Channel", "Event", "Summary"}));
        EXPECT_TRUE(fields->SectionRadio(0)->isChecked());
        ClickBox(fields->SectionRadio(1));
        QListWidget* list = fields->FieldList();
        ASSERT_GT(list->count(), 10);
        list->setCurrentRow(0);
        EXPECT_FALSE(fields->HelpText()->text().isEmpty()) << "a row's help text";
        QTest::mouseClick(fields->SelectNoneButton(), Qt::LeftButton);
        list->item(1)->setCheckState(Qt::Checked);
        ClickBox(fields->SectionRadio(3));
        QTest::mouseClick(fields->SelectNoneButton(), Qt::LeftButton);
        ClickBox(fields->SectionRadio(1));
        EXPECT_EQ(list->item(1)->checkState(), Qt::Checked) << "the folded mask lists again";
        EXPECT_EQ(list->item(0)->checkState(), Qt::Unchecked);
        QTest::mouseClick(sheet->OkButton(), Qt::LeftButton);
    });
    EXPECT_EQ(reportFlag, (QList<bool>{true, false}));
    const ChartSettingsBytes b = WriteChartSettings(doc->Settings());
    EXPECT_EQ(U32At(b, 176), ZynRGB(222, 149, 96)) << "report background";
    EXPECT_EQ(U32At(b, 188), 4u) << "report background palette index";
    EXPECT_EQ(U32At(b, 304), 0xFFFFFFFFu) << "chart mask untouched";
    EXPECT_EQ(U32At(b, 308), 0xFFF80002u) << "channel rows 0x1..0x40000 cleared but the second";
    EXPECT_EQ(U32At(b, 312), 0xFFFFFFFFu);
    EXPECT_EQ(U32At(b, 316), 0xFFFFFFFCu) << "summary rows 0x1 and 0x2 cleared";
}

TEST_F(ChartSheetTest, ReportFieldsWithoutTheTemplateSayWhy) {
    ChartSettings working;
    CReportFieldsPage page(working, [] { return std::optional<std::vector<ReportFieldSection>>(); });
    EXPECT_FALSE(page.TemplateLoaded());
    EXPECT_FALSE(page.ErrorText()->isHidden());
    EXPECT_EQ(page.ErrorText()->text(), QStringLiteral("Failed to load the report template"));
    EXPECT_FALSE(page.FieldList()->isEnabled());
    working.reportFieldMasks[0] = 0x5;
    page.UpdateData();
    EXPECT_EQ(working.reportFieldMasks[0], 0x5u);
}

TEST_F(ChartSheetTest, ASheetWhoseWindowClosesClosesWithIt) {
    MakeView();
    const int result = RunChart([&](CChartPropertySheet* sheet) {
        QTest::mouseClick(PageOf<CChartPage>(sheet, 1)->Colours()->Button(3), Qt::LeftButton);
        QTest::mouseClick(sheet->ApplyButton(), Qt::LeftButton);
        view.reset();
        doc.reset();
        EXPECT_FALSE(sheet->isVisible());
    });
    EXPECT_EQ(result, QDialog::Rejected);
}

// The chart samples on its own thread while the sheet is open; applying a rate reaches the running
// chart and the sheet closes on a chart that still runs.
TEST_F(ChartSheetTest, TheChartKeepsSamplingUnderTheSheet) {
    ASSERT_TRUE(doc->AddChannelByPath(kCpuPath));
    doc->Chart()->put_Rate(50);
    doc->Chart()->put_Run(1);
    MakeView();
    RunChart([&](CChartPropertySheet* sheet) {
        const LONG before = CountOf(doc->Channels().front());
        EXPECT_TRUE(QTest::qWaitFor([&] { return CountOf(doc->Channels().front()) > before + 3; }, 10000));
        Type(PageOf<CDisplayPage>(sheet, 0)->RateEdit(), QStringLiteral("0.2"));
        QTest::mouseClick(sheet->ApplyButton(), Qt::LeftButton);
        QTest::mouseClick(sheet->OkButton(), Qt::LeftButton);
    });
    LONG rate = 0, run = 0;
    doc->Chart()->get_Rate(&rate);
    doc->Chart()->get_Run(&run);
    EXPECT_EQ(rate, 200);
    EXPECT_EQ(run, 1);
    doc->Chart()->put_Run(0);
}

} // namespace
