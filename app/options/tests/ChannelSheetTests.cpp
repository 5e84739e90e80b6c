// "Channel Properties": the Channel, Data and Counter pages over a channel object.

#include "SheetFixture.h"
#include "display/ChartColours.h"
#include "display/DisplayFormat.h"
#include "options/ChannelPage.h"
#include "options/ChannelPropertySheet.h"
#include "options/ChannelText.h"
#include "options/CounterPage.h"
#include "options/DataPage.h"

#include "utils/ZynNumber.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

namespace {

class ChannelSheetTest : public SheetFixture {
protected:
    int Run(IZynChannel* channel, const std::function<void(CChannelPropertySheet*)>& drive) {
        ChannelSheetHost host;
        host.status = [this](const QString& text, int) { status << text; };
        host.tick = [this] { ++ticks; };
        auto driven = OnNextModal<CChannelPropertySheet>([&, drive](CChannelPropertySheet* sheet) {
            sheetOpenSetting = ctx.Settings().Get(CNumberedSettings::kChannelSheetOpen);
            drive(sheet);
        });
        const int result = RunChannelProperties(ctx, channel, host, nullptr);
        EXPECT_EQ(driven->count, 1) << "the sheet never showed";
        return result;
    }
    QStringList status;
    int ticks = 0;
    std::uint32_t sheetOpenSetting = 0;
};

QString Text(IZynChannel* c, HRESULT (IZynChannel::*getter)(BSTR*)) {
    return ChannelText(c, getter);
}

TEST_F(ChannelSheetTest, ChannelPageEditsTheChannelAndTicksTheFrame) {
    ASSERT_TRUE(doc->AddChannelByPath(kCpuPath));
    CComPtr<IZynChannel> cpu = doc->Channels().front();
    ctx.Settings().Set(CNumberedSettings::kLastViewBackground, ZynRGB(0, 0, 48));
    colourAnswer = ZynRGB(10, 20, 30);
    const int result = Run(cpu, [&](CChannelPropertySheet* sheet) {
        EXPECT_EQ(sheet->windowTitle(), QStringLiteral("Channel Properties"));
        EXPECT_EQ(TabTitles(*sheet), (QStringList{"Channel", "Data", "Counter"}));
        auto* page = PageOf<CChannelPage>(sheet, 0);
        EXPECT_EQ(page->TypeEdit()->text(), QStringLiteral("Dynamic Channel"));
        EXPECT_TRUE(page->TypeEdit()->isReadOnly());
        EXPECT_EQ(page->IdentifierEdit()->text(), Text(cpu, &IZynChannel::get_Identifier));
        EXPECT_EQ(page->CounterEdit()->text(), Text(cpu, &IZynChannel::get_Counter));
        EXPECT_EQ(page->NameEdit()->text(), QStringLiteral("Channel-1"));

        // Its own red first, then the 13 standard colours that differ from it, then More Colors...
        QComboBox* colours = page->ColourCombo();
        ASSERT_EQ(colours->count(), 15);
        EXPECT_EQ(page->SelectedColour(), ZynRGB(255, 0, 0));
        EXPECT_EQ(colours->itemData(1, Qt::UserRole).toUInt(), ZynRGB(0, 0, 0));
        EXPECT_EQ(colours->itemData(2, Qt::UserRole).toUInt(), ZynRGB(0, 255, 0));
        EXPECT_EQ(colours->itemData(13, Qt::UserRole).toUInt(), ZynRGB(0, 128, 0));
        EXPECT_EQ(colours->itemText(14), QStringLiteral("More Colors..."));
        page->ChooseColourEntry(14);
        EXPECT_EQ(colours->count(), 16);
        EXPECT_EQ(colours->currentIndex(), 14) << "the chosen colour goes before More Colors...";
        EXPECT_EQ(page->SelectedColour(), ZynRGB(10, 20, 30));
        EXPECT_EQ(colourAsked, ZynRGB(255, 0, 0)) << "the dialog starts from the current colour";

        EXPECT_EQ(page->WidthCombo()->count(), 9);
        const QImage sample =
            page->WidthCombo()->itemIcon(8).pixmap(page->WidthCombo()->iconSize()).toImage();
        EXPECT_EQ(sample.pixelColor(1, 1), QColor(0, 0, 48)) << "drawn on the last chart background";
        EXPECT_EQ(sample.pixelColor(sample.width() / 2, sample.height() / 2), QColor(10, 20, 30));
        page->WidthCombo()->setCurrentIndex(4);
        Type(page->NameEdit(), QStringLiteral("CPU total"));
        Type(page->CommentEdit(), QStringLiteral("all cores"));
        ClickBox(page->VisibleCheck());
        QTest::mouseClick(sheet->ApplyButton(), Qt::LeftButton);
        EXPECT_EQ(ticks, 1) << "an apply ticks the main frame";
        EXPECT_EQ(Text(cpu, &IZynChannel::get_Name), QStringLiteral("CPU total"));
        QTest::mouseClick(sheet->OkButton(), Qt::LeftButton);
    });
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_EQ(sheetOpenSetting, 1u) << "setting 10006 while the sheet runs";
    EXPECT_EQ(ctx.Settings().Get(CNumberedSettings::kChannelSheetOpen), 0u);
    EXPECT_EQ(ticks, 2);
    EXPECT_EQ(status.value(0), QStringLiteral("Applying configuration changes"));
    OLE_COLOR colour = 0;
    LONG width = 0, visible = 1;
    cpu->get_Color(&colour);
    cpu->get_Width(&width);
    cpu->get_Visible(&visible);
    EXPECT_EQ(colour, ZynRGB(10, 20, 30));
    EXPECT_EQ(width, 4);
    EXPECT_EQ(visible, 0);
    EXPECT_EQ(Text(cpu, &IZynChannel::get_Comment), QStringLiteral("all cores"));
}

TEST_F(ChannelSheetTest, TypesAndAColourOutsideTheStandardOnes) {
    CComPtr<IZynChannel> channel = Record(1, ZynRGB(1, 2, 3));
    Run(channel, [&](CChannelPropertySheet* sheet) {
        auto* page = PageOf<CChannelPage>(sheet, 0);
        EXPECT_EQ(page->TypeEdit()->text(), QStringLiteral("Static channel"));
        EXPECT_EQ(page->ColourCombo()->count(), 16) << "its own colour and all 14 standard ones";
    });
    EXPECT_EQ(zyn::options::ChannelTypeText(3), QStringLiteral("Virtual channel"));
    EXPECT_EQ(zyn::options::ChannelTypeText(7), QStringLiteral("Error - Unknown channel type"));
}

TEST_F(ChannelSheetTest, DataPageScalesAndReformats) {
    CComPtr<IZynChannel> channel = Record(2);
    channel->put_ScaleMax(1000.0);
    channel->put_ScaleMin(-5.25);
    Run(channel, [&](CChannelPropertySheet* sheet) {
        auto* data = PageOf<CDataPage>(sheet, 1);
        EXPECT_EQ(data->MaxEdit()->text(), FormatNumber(1000.0));
        EXPECT_EQ(data->MinEdit()->text(), QStringLiteral("-5.25"));
        EXPECT_EQ(data->CountEdit()->text(), QStringLiteral("121"));
        EXPECT_FALSE(data->StartEdit()->text().isEmpty());
        double max = 0, min = 0;
        CComPtr<IZynDataSet> set;
        channel->get_Data(&set);
        set->get_Max(&max);
        set->get_Min(&min);
        EXPECT_EQ(data->MaxValueEdit()->text(), FormatNumber(max));
        EXPECT_EQ(data->MinValueEdit()->text(), FormatNumber(min));

        data->AutoScale();
        double lo = min, hi = max;
        AutoScale(lo, hi);
        EXPECT_EQ(data->MaxEdit()->text(), FormatNumber(hi));
        EXPECT_EQ(data->MinEdit()->text(), FormatNumber(lo));
        double stillMax = 0;
        channel->get_ScaleMax(&stillMax);
        EXPECT_EQ(stillMax, 1000.0) << "Auto Scale only fills the edits";

        Type(data->MaxEdit(), QStringLiteral("1234.5"));
        QFocusEvent out(QEvent::FocusOut);
        QApplication::sendEvent(data->MaxEdit(), &out);
        EXPECT_EQ(data->MaxEdit()->text(), QStringLiteral("1,234.5"))
            << "reformatted when it loses the focus";
        Type(data->UnitsEdit(), QStringLiteral("MB/s"));
        QTest::mouseClick(sheet->OkButton(), Qt::LeftButton);
    });
    double scaleMax = 0, scaleMin = 1;
    channel->get_ScaleMax(&scaleMax);
    channel->get_ScaleMin(&scaleMin);
    EXPECT_DOUBLE_EQ(scaleMax, 1234.5);
    CComPtr<IZynDataSet> set;
    channel->get_Data(&set);
    double min = 0, max = 0;
    set->get_Min(&min);
    set->get_Max(&max);
    double lo = min, hi = max;
    AutoScale(lo, hi);
    EXPECT_DOUBLE_EQ(scaleMin, lo);
    EXPECT_EQ(Text(channel, &IZynChannel::get_Units), QStringLiteral("MB/s"));
}

TEST_F(ChannelSheetTest, CounterPageShowsThePathElements) {
    ASSERT_TRUE(doc->AddChannelByPath(kCpuPath));
    CComPtr<IZynChannel> cpu = doc->Channels().front();
    Run(cpu, [&](CChannelPropertySheet* sheet) {
        auto* page = PageOf<CCounterPage>(sheet, 2);
        EXPECT_EQ(page->Field(1)->text(), Text(cpu, &IZynChannel::get_CounterPath));
        EXPECT_EQ(page->Field(3)->text(), QStringLiteral("Processor"));
        EXPECT_EQ(page->Field(6)->text(), QStringLiteral("% Processor Time"));
        EXPECT_EQ(page->Description()->toPlainText(), Text(cpu, &IZynChannel::get_CounterDescription));
        EXPECT_TRUE(page->Field(0)->isReadOnly());
    });
}

TEST_F(ChannelSheetTest, AChannelThatIsGoneOpensNothing) {
    CComPtr<IZynChannel> channel = Record(1);
    channel->Detach();
    ChannelSheetHost host;
    EXPECT_EQ(RunChannelProperties(ctx, channel, host, nullptr), -1);
    EXPECT_EQ(RunChannelProperties(ctx, nullptr, host, nullptr), -1);
    EXPECT_EQ(ctx.Settings().Get(CNumberedSettings::kChannelSheetOpen), 0u);
}

} // namespace
