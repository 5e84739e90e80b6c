// "Set Application Preferences": the default chart settings, the General page's numbered settings
// and the question whether open windows take the new defaults.

#include "SheetFixture.h"
#include "display/ChartColours.h"
#include "options/ChartPage.h"
#include "options/DisplayPage.h"
#include "options/GeneralPage.h"
#include "options/PreferencesSheet.h"
#include "options/ReportFieldsPage.h"

#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>

namespace {

class PreferencesTest : public SheetFixture {
protected:
    int Run(const std::function<void(CPreferencesSheet*)>& drive) {
        PreferencesHost host;
        host.chartWindowCount = [this] { return windows; };
        host.applyDefaultsToAllWindows = [this] { ++appliedToAll; };
        host.status = [this](const QString& text, int) { status << text; };
        auto driven = OnNextModal<CPreferencesSheet>(drive);
        const int result = RunPreferences(ctx, host, nullptr);
        EXPECT_EQ(driven->count, 1) << "the sheet never showed";
        return result;
    }
    int windows = 0;
    int appliedToAll = 0;
    QStringList status;
};

TEST_F(PreferencesTest, PagesInOrderOverTheDefaultRecord) {
    CPreferencesSheet sheet(ctx, {}, nullptr);
    EXPECT_EQ(sheet.windowTitle(), QStringLiteral("Set Application Preferences"));
    EXPECT_EQ(TabTitles(sheet), (QStringList{"Display", "Chart", "Grid", "Axis", "Report", "Print",
                                             "Report Fields", "General"}));
    auto* display = dynamic_cast<CDisplayPage*>(sheet.Page(0));
    ASSERT_TRUE(display);
    display->ViewSlider()->setValue(100);
    EXPECT_EQ(display->ViewEdit()->text(), QStringLiteral("15.00 days")) << "no all-data choice for defaults";
    auto* report = dynamic_cast<CChartPage*>(sheet.Page(CPreferencesSheet::kReportPage));
    ASSERT_TRUE(report);
    EXPECT_EQ(report->PageVariant(), CChartPage::Variant::Report);
}

TEST_F(PreferencesTest, NoQuestionWithoutAChartWindow) {
    windows = 0;
    Run([&](CPreferencesSheet* sheet) {
        QTest::mouseClick(PageOf<CChartPage>(sheet, 1)->Colours()->Button(9), Qt::LeftButton);
        QTest::mouseClick(sheet->OkButton(), Qt::LeftButton);
    });
    EXPECT_EQ(ui.questions, 0);
    EXPECT_EQ(appliedToAll, 0);
    EXPECT_EQ(ctx.DefaultChartSettings().ColorBackGround, ZynRGB(85, 107, 47));
    EXPECT_EQ(ctx.DefaultChartSettings().backgroundPaletteIndex, 9u);
    EXPECT_EQ(status.value(0), QStringLiteral("Applying configuration changes"));
}

TEST_F(PreferencesTest, OpenWindowsTakeTheDefaultsWhenTheUserSaysYes) {
    windows = 2;
    ui.answerYes = true;
    Run([&](CPreferencesSheet* sheet) { QTest::mouseClick(sheet->OkButton(), Qt::LeftButton); });
    EXPECT_EQ(ui.questions, 1);
    EXPECT_EQ(appliedToAll, 1);
    ui.answerYes = false;
    Run([&](CPreferencesSheet* sheet) { QTest::mouseClick(sheet->OkButton(), Qt::LeftButton); });
    EXPECT_EQ(ui.questions, 2);
    EXPECT_EQ(appliedToAll, 1) << "No leaves the windows alone";
    Run([&](CPreferencesSheet* sheet) { QTest::mouseClick(sheet->CancelButton(), Qt::LeftButton); });
    EXPECT_EQ(ui.questions, 2) << "Cancel asks nothing";
}

TEST_F(PreferencesTest, CancelAfterApplyKeepsTheAppliedDefaults) {
    Run([&](CPreferencesSheet* sheet) {
        Type(PageOf<CDisplayPage>(sheet, 0)->RateEdit(), QStringLiteral("5"));
        QTest::mouseClick(sheet->ApplyButton(), Qt::LeftButton);
        QTest::mouseClick(sheet->CancelButton(), Qt::LeftButton);
    });
    EXPECT_EQ(ctx.DefaultChartSettings().sampleRate, 5000u);
    EXPECT_FALSE(status.contains(QStringLiteral("Changes not saved. Reverting to previous settings.")));
}

TEST_F(PreferencesTest, GeneralPageWritesItsNumberedSettings) {
    ctx.Settings().Set(CNumberedSettings::kRecentFileCount, 40); // out of range: shown clamped
    Run([&](CPreferencesSheet* sheet) {
        auto* general = PageOf<CGeneralPage>(sheet, CPreferencesSheet::kGeneralPage);
        EXPECT_TRUE(general->DetailRadio(2)->isChecked()) << "the default detail level";
        EXPECT_TRUE(general->Note()->isHidden());
        EXPECT_EQ(general->RecentFiles()->value(), 12);
        ClickBox(general->DetailRadio(3));
        EXPECT_EQ(ui.beeps, 1) << "choosing All beeps";
        EXPECT_FALSE(general->Note()->isHidden());
        EXPECT_EQ(general->Note()->text(),
                  QStringLiteral("Note: Some systems are not compatable with this "
                                 "selection and cannot collect low level counter data."));
        ClickBox(general->DetailRadio(1));
        EXPECT_TRUE(general->Note()->isHidden());
        EXPECT_EQ(ui.beeps, 1);
        ClickBox(general->ExpertCheck());
        ClickBox(general->NoFadesCheck());
        ClickBox(general->MultipleAutomationCheck());
        general->RecentFiles()->setValue(0);
        EXPECT_EQ(general->RecentFiles()->value(), 1) << "the spinner's range is 1..12";
        general->RecentFiles()->setValue(4);
        QTest::mouseClick(sheet->OkButton(), Qt::LeftButton);
    });
    const CNumberedSettings& s = ctx.Settings();
    EXPECT_EQ(s.Get(CNumberedSettings::kCounterDetail), 1u);
    EXPECT_EQ(s.Get(CNumberedSettings::kExpertMode), 1u);
    EXPECT_EQ(s.Get(CNumberedSettings::kDisableFades), 1u);
    EXPECT_EQ(s.Get(CNumberedSettings::kMultipleAutomation), 1u);
    EXPECT_EQ(s.Get(CNumberedSettings::kRecentFileCount), 4u);
}

TEST_F(PreferencesTest, ReportFieldsAndReportColoursReachTheDefaults) {
    Run([&](CPreferencesSheet* sheet) {
        auto* report = PageOf<CChartPage>(sheet, CPreferencesSheet::kReportPage);
        QTest::mouseClick(report->Colours()->Button(3), Qt::LeftButton);
        auto* fields = PageOf<CReportFieldsPage>(sheet, CPreferencesSheet::kReportFieldsPage);
        ClickBox(fields->SectionRadio(2));
        QTest::mouseClick(fields->SelectNoneButton(), Qt::LeftButton);
        QTest::mouseClick(fields->SelectAllButton(), Qt::LeftButton);
        fields->FieldList()->item(0)->setCheckState(Qt::Unchecked);
        QTest::mouseClick(sheet->OkButton(), Qt::LeftButton);
    });
    const ChartSettings& d = ctx.DefaultChartSettings();
    EXPECT_EQ(d.reportBackgroundColour, ZynRGB(240, 255, 240)) << "Honey Dew";
    EXPECT_EQ(d.reportBackgroundPaletteIndex, 3u);
    EXPECT_EQ(d.reportFieldMasks[2], 0xFFFFFFFEu) << "the event comment row cleared";
    EXPECT_EQ(d.reportFieldMasks[0], 0xFFFFFFFFu);
}

} // namespace
