#include "display/ChartSettings.h"

#include "display/ChartColours.h"
#include "display/ChartFonts.h"

#include <QFontDatabase>

#include <gtest/gtest.h>

#include <cstring>

namespace {

std::uint32_t U32At(const ChartSettingsBytes& b, std::size_t off) {
    return b[off] | (b[off + 1] << 8) | (b[off + 2] << 16) | (std::uint32_t(b[off + 3]) << 24);
}

TEST(ChartSettingsRecord, DefaultsLandAtTheirOffsets) {
    const ChartSettingsBytes b = WriteChartSettings(ChartSettings{});
    EXPECT_EQ(b.size(), 324u);
    EXPECT_EQ(U32At(b, 0), 6u);
    // XMinorTicks, XMajorTicks, XGridLines, padding
    EXPECT_EQ(b[4], 1);
    EXPECT_EQ(b[5], 1);
    EXPECT_EQ(b[6], 0);
    EXPECT_EQ(b[7], 0);
    EXPECT_EQ(U32At(b, 8), 1u);
    EXPECT_EQ(U32At(b, 24), 2u); // TickSize
    EXPECT_EQ(U32At(b, 28), 1u); // elapsed time mode
    EXPECT_EQ(U32At(b, 44), 0xFFFF80u);
    EXPECT_EQ(U32At(b, 48), 0x00FFFFu);
    EXPECT_EQ(U32At(b, 64), 13u);
    EXPECT_EQ(U32At(b, 164), 1000u); // sample rate
    // 3 minutes as a little-endian IEEE double: 0x3F61111111111111
    const std::uint8_t span[8] = {0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x61, 0x3F};
    EXPECT_EQ(std::memcmp(&b[168], span, 8), 0);
    EXPECT_EQ(U32At(b, 180), 0x800000u);
    EXPECT_EQ(U32At(b, 188), 1u);
    EXPECT_EQ(b[292], 1);
    EXPECT_EQ(b[293], 1);
    EXPECT_EQ(U32At(b, 296), 1u);
    EXPECT_EQ(U32At(b, 300), 0u);
    for (std::size_t off = 304; off < 320; off += 4)
        EXPECT_EQ(U32At(b, off), 0xFFFFFFFFu);
    EXPECT_EQ(b[320], 1);
    EXPECT_EQ(b[323], 0);
}

TEST(ChartSettingsRecord, FontsAndSlotsAreStoredAsTheFileExpects) {
    ChartSettings s;
    s.chartFont = DefaultChartLogFont();
    ChartFont(s); // a live font must not leak its address into the record
    const ChartSettingsBytes b = WriteChartSettings(s);
    EXPECT_EQ(U32At(b, 68), 0u);
    EXPECT_EQ(U32At(b, 72), 0xFFFFFFF4u); // height -12
    EXPECT_EQ(U32At(b, 88), 400u);        // weight
    EXPECT_EQ(b[72 + 27], 0x20);          // pitch and family
    EXPECT_EQ(b[72 + 28], 'M');
    EXPECT_EQ(b[72 + 29], 0);
    EXPECT_EQ(b[72 + 30], 'i');
    EXPECT_EQ(U32At(b, 196), 0u);
}

TEST(ChartSettingsRecord, RoundTripsEveryField) {
    ChartSettings s;
    s.XGridLines = 1;
    s.yGridSpacing = 3;
    s.gridColourAuto = 1;
    s.TickSize = 3;
    s.timeMode = 0;
    s.absoluteTimeFormat = 1;
    s.ColorBackGround = 0x123456;
    s.chartFont = DefaultChartLogFont();
    s.reportFont = DefaultChartLogFont();
    s.reportFont.lfHeight = -20;
    s.sampleRate = 250;
    s.viewSpan = 1.0 / 24;
    s.reportFieldMasks = {1, 2, 3, 4};
    s.autoScroll = 0;
    const ChartSettingsBytes b = WriteChartSettings(s);
    ChartSettings back;
    ASSERT_TRUE(ReadChartSettings(b.data(), b.size(), back));
    EXPECT_EQ(WriteChartSettings(back), b);
    EXPECT_EQ(back.reportFont.lfHeight, -20);
    EXPECT_EQ(back.viewSpan, 1.0 / 24);
}

TEST(ChartSettingsRecord, OlderVersionsAreUpgradedStepByStep) {
    ChartSettings old;
    old.version = 1;
    old.sampleRate = 77;
    old.viewSpan = 5.0;
    old.chartFont = DefaultChartLogFont();
    old.chartFont.lfHeight = -17;
    old.reportTextColour = 0x111111;
    old.reportFieldMasks = {0, 0, 0, 0};
    old.chartPrintOrientation = 2;
    const ChartSettingsBytes b = WriteChartSettings(old);
    ChartSettings s;
    ASSERT_TRUE(ReadChartSettings(b.data(), b.size(), s));
    EXPECT_EQ(s.version, 6u);
    EXPECT_EQ(s.sampleRate, 1000u);
    EXPECT_EQ(s.viewSpan, ChartSettings::kDefaultViewSpan);
    EXPECT_EQ(s.reportTextColour, 0x5C0000u); // the version-4 default, not today's
    EXPECT_EQ(s.reportFont, s.chartFont);
    EXPECT_EQ(s.chartPrintOrientation, 0u);
    EXPECT_EQ(s.reportFieldMasks[2], 0xFFFFFFFFu);

    // A version-4 record keeps its report colours and rate but gains print options and masks.
    old.version = 4;
    const ChartSettingsBytes b4 = WriteChartSettings(old);
    ASSERT_TRUE(ReadChartSettings(b4.data(), b4.size(), s));
    EXPECT_EQ(s.sampleRate, 77u);
    EXPECT_EQ(s.reportTextColour, 0x111111u);
    EXPECT_EQ(s.chartPrintOrientation, 0u);
    EXPECT_EQ(s.reportFieldMasks[0], 0xFFFFFFFFu);
    EXPECT_EQ(s.version, 6u);
}

TEST(ChartSettingsRecord, ShortRecordsKeepTheRestAndLongOnesAreRefused) {
    ChartSettings s;
    s.autoScroll = 0;
    s.sampleRate = 5;
    ChartSettings src;
    src.TickSize = 0;
    const ChartSettingsBytes b = WriteChartSettings(src);
    ASSERT_TRUE(ReadChartSettings(b.data(), 100, s));
    EXPECT_EQ(s.TickSize, 0u);
    EXPECT_EQ(s.sampleRate, 5u);
    EXPECT_EQ(s.autoScroll, 0);

    std::uint8_t big[325] = {};
    EXPECT_FALSE(ReadChartSettings(big, sizeof big, s));
    EXPECT_EQ(s.sampleRate, 5u);
    EXPECT_FALSE(ReadChartSettings(nullptr, 10, s));
}

TEST(ChartSettingsFonts, MissingStoredFaceFallsBackButStaysStored) {
    ChartSettings s;
    FinishChartSettings(s, false);
    const QFont f = ChartFont(s);
    EXPECT_EQ(f.pixelSize(), 12);
    EXPECT_TRUE(QFontDatabase::hasFamily(f.family())) << f.family().toStdString();
    RefreshStoredFonts(s);
    EXPECT_EQ(s.chartFont, DefaultChartLogFont());
    EXPECT_EQ(s.reportFont, DefaultChartLogFont());

    // Read from storage: the fonts come from the stored descriptions; palette index 12 is the
    // system window colour.
    ChartSettings stored;
    stored.chartFont = DefaultChartLogFont();
    stored.chartFont.lfHeight = -20;
    stored.reportFont = DefaultChartLogFont();
    stored.backgroundPaletteIndex = 12;
    FinishChartSettings(stored, true, 0xABCDEF);
    EXPECT_EQ(ChartFont(stored).pixelSize(), 20);
    EXPECT_EQ(stored.ColorBackGround, 0xABCDEFu);
}

TEST(ChartSettingsFonts, CopyKeepsVersionAndRecreatesFonts) {
    ChartSettings src;
    SetChartFont(src, [] {
        ZynLogFont lf = DefaultChartLogFont();
        lf.lfHeight = -30;
        return lf;
    }());
    src.sampleRate = 42;
    ChartSettings dst;
    dst.version = 5;
    CopySettings(dst, src);
    EXPECT_EQ(dst.version, 5u);
    EXPECT_EQ(dst.sampleRate, 42u);
    ASSERT_TRUE(dst.chartFontSlot.has_value());
    EXPECT_EQ(dst.chartFontSlot->logFont.lfHeight, -30);
    EXPECT_FALSE(dst.reportFontSlot.has_value());
    CopySettings(dst, dst); // self copy changes nothing
    EXPECT_EQ(dst.sampleRate, 42u);
}

TEST(ChartSettingsFonts, PrinterAdaptationScalesFontsAndMasksColours) {
    EXPECT_EQ(PixelsToPoints(-12, 96), -9);
    EXPECT_EQ(PixelsToPoints(-12, 0), -12);
    EXPECT_EQ(MulDiv(-9, 600, 72), -75);
    EXPECT_EQ(MulDiv(5, 1, 2), 3);
    EXPECT_EQ(MulDiv(-5, 1, 2), -3);

    ChartSettings s;
    FinishChartSettings(s, false);
    s.gridColourAuto = 1;
    s.ColorBackGround = 0x000000;
    s.ColorText = 0x00FFFF;
    s.reportTextColourAuto = 1;
    s.reportBackgroundColour = 0xFFFFFF;
    AdaptForPrinter(s, 600, 96);
    EXPECT_EQ(s.ColorGrid, MaskColour(ContrastShift(0, 80), 0x3f)); // 0x101010
    EXPECT_EQ(s.ColorGrid, 0x101010u);
    EXPECT_EQ(s.gridColourAuto, 0);
    EXPECT_EQ(s.ColorText, 0x003F3Fu);
    EXPECT_EQ(s.ColorBackGround, 0xFFFFFFu);
    EXPECT_EQ(s.reportTextColour, 0u);
    EXPECT_EQ(s.chartFontSlot->logFont.lfHeight, 75);
    EXPECT_EQ(s.reportFontSlot->logFont.lfHeight, 75);
    EXPECT_GT(s.chartFontSlot->font.pixelSize(), 50);

    ChartSettings plain;
    plain.chartPrinterFriendly = 0;
    plain.ColorBackGround = 0x123456;
    AdaptForPrinter(plain, 300, 96);
    EXPECT_EQ(plain.ColorBackGround, 0x123456u);
}

} // namespace
