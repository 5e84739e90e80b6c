#include "ChartSettings.h"

#include <cstring>

namespace {

// Offsets of the stored record.
enum : std::size_t {
    kOffVersion = 0,
    kOffXMinor = 4,
    kOffXMajor = 5,
    kOffXGrid = 6,
    kOffXSpacing = 8,
    kOffYMinor = 12,
    kOffYMajor = 13,
    kOffYGrid = 14,
    kOffYSpacing = 16,
    kOffTextAuto = 20,
    kOffGridAuto = 21,
    kOffTickSize = 24,
    kOffTimeMode = 28,
    kOffRelFormat = 32,
    kOffAbsFormat = 36,
    kOffBackground = 40,
    kOffGrid = 44,
    kOffText = 48,
    kOffCustomBackground = 52,
    kOffCustomGrid = 56,
    kOffBackgroundIndex = 60,
    kOffGridIndex = 64,
    kOffChartFontSlot = 68,
    kOffChartFont = 72,
    kOffSampleRate = 164,
    kOffViewSpan = 168,
    kOffReportBackground = 176,
    kOffReportText = 180,
    kOffReportCustom = 184,
    kOffReportBackgroundIndex = 188,
    kOffReportTextAuto = 192,
    kOffReportFontSlot = 196,
    kOffReportFont = 200,
    kOffReportPrinterFriendly = 292,
    kOffChartPrinterFriendly = 293,
    kOffReportOrientation = 296,
    kOffChartOrientation = 300,
    kOffFieldMasks = 304,
    kOffAutoScroll = 320,
};
static_assert(kOffChartFont + ZynLogFont::kBytes == kOffSampleRate);
static_assert(kOffReportFont + ZynLogFont::kBytes == kOffReportPrinterFriendly);
static_assert(kOffAutoScroll + 4 == ChartSettings::kBytes);

class Writer {
public:
    explicit Writer(ChartSettingsBytes& b) : m_b(b) {}
    void U8(std::size_t off, std::uint8_t v) { m_b[off] = v; }
    void U32(std::size_t off, std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            m_b[off + i] = std::uint8_t(v >> (8 * i));
    }
    void I32(std::size_t off, std::int32_t v) { U32(off, static_cast<std::uint32_t>(v)); }
    void F64(std::size_t off, double v) {
        std::uint64_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        for (int i = 0; i < 8; ++i)
            m_b[off + i] = std::uint8_t(bits >> (8 * i));
    }
    void Font(std::size_t off, const ZynLogFont& f) {
        I32(off + 0, f.lfHeight);
        I32(off + 4, f.lfWidth);
        I32(off + 8, f.lfEscapement);
        I32(off + 12, f.lfOrientation);
        I32(off + 16, f.lfWeight);
        U8(off + 20, f.lfItalic);
        U8(off + 21, f.lfUnderline);
        U8(off + 22, f.lfStrikeOut);
        U8(off + 23, f.lfCharSet);
        U8(off + 24, f.lfOutPrecision);
        U8(off + 25, f.lfClipPrecision);
        U8(off + 26, f.lfQuality);
        U8(off + 27, f.lfPitchAndFamily);
        for (std::size_t i = 0; i < f.lfFaceName.size(); ++i) {
            U8(off + 28 + 2 * i, std::uint8_t(f.lfFaceName[i]));
            U8(off + 29 + 2 * i, std::uint8_t(f.lfFaceName[i] >> 8));
        }
    }

private:
    ChartSettingsBytes& m_b;
};

class Reader {
public:
    explicit Reader(const ChartSettingsBytes& b) : m_b(b) {}
    std::uint8_t U8(std::size_t off) const { return m_b[off]; }
    std::uint32_t U32(std::size_t off) const {
        std::uint32_t v = 0;
        for (int i = 0; i < 4; ++i)
            v |= std::uint32_t(m_b[off + i]) << (8 * i);
        return v;
    }
    std::int32_t I32(std::size_t off) const { return static_cast<std::int32_t>(U32(off)); }
    double F64(std::size_t off) const {
        std::uint64_t bits = 0;
        for (int i = 0; i < 8; ++i)
            bits |= std::uint64_t(m_b[off + i]) << (8 * i);
        double v;
        std::memcpy(&v, &bits, sizeof v);
        return v;
    }
    ZynLogFont Font(std::size_t off) const {
        ZynLogFont f;
        f.lfHeight = I32(off + 0);
        f.lfWidth = I32(off + 4);
        f.lfEscapement = I32(off + 8);
        f.lfOrientation = I32(off + 12);
        f.lfWeight = I32(off + 16);
        f.lfItalic = U8(off + 20);
        f.lfUnderline = U8(off + 21);
        f.lfStrikeOut = U8(off + 22);
        f.lfCharSet = U8(off + 23);
        f.lfOutPrecision = U8(off + 24);
        f.lfClipPrecision = U8(off + 25);
        f.lfQuality = U8(off + 26);
        f.lfPitchAndFamily = U8(off + 27);
        for (std::size_t i = 0; i < f.lfFaceName.size(); ++i)
            f.lfFaceName[i] = char16_t(U8(off + 28 + 2 * i) | (U8(off + 29 + 2 * i) << 8));
        return f;
    }

private:
    const ChartSettingsBytes& m_b;
};

} // namespace

ChartSettingsBytes WriteChartSettings(const ChartSettings& s) {
    ChartSettingsBytes b{};
    Writer w(b);
    w.U32(kOffVersion, s.version);
    w.U8(kOffXMinor, s.XMinorTicks);
    w.U8(kOffXMajor, s.XMajorTicks);
    w.U8(kOffXGrid, s.XGridLines);
    w.U32(kOffXSpacing, s.xGridSpacing);
    w.U8(kOffYMinor, s.YMinorTicks);
    w.U8(kOffYMajor, s.YMajorTicks);
    w.U8(kOffYGrid, s.YGridLines);
    w.U32(kOffYSpacing, s.yGridSpacing);
    w.U8(kOffTextAuto, s.textColourAuto);
    w.U8(kOffGridAuto, s.gridColourAuto);
    w.U32(kOffTickSize, s.TickSize);
    w.U32(kOffTimeMode, s.timeMode);
    w.U32(kOffRelFormat, s.relativeTimeFormat);
    w.U32(kOffAbsFormat, s.absoluteTimeFormat);
    w.U32(kOffBackground, s.ColorBackGround);
    w.U32(kOffGrid, s.ColorGrid);
    w.U32(kOffText, s.ColorText);
    w.U32(kOffCustomBackground, s.customBackgroundColour);
    w.U32(kOffCustomGrid, s.customGridColour);
    w.U32(kOffBackgroundIndex, s.backgroundPaletteIndex);
    w.U32(kOffGridIndex, s.gridPaletteIndex);
    w.U32(kOffChartFontSlot, 0);
    w.Font(kOffChartFont, s.chartFont);
    w.U32(kOffSampleRate, s.sampleRate);
    w.F64(kOffViewSpan, s.viewSpan);
    w.U32(kOffReportBackground, s.reportBackgroundColour);
    w.U32(kOffReportText, s.reportTextColour);
    w.U32(kOffReportCustom, s.reportCustomColour);
    w.U32(kOffReportBackgroundIndex, s.reportBackgroundPaletteIndex);
    w.U8(kOffReportTextAuto, s.reportTextColourAuto);
    w.U32(kOffReportFontSlot, 0);
    w.Font(kOffReportFont, s.reportFont);
    w.U8(kOffReportPrinterFriendly, s.reportPrinterFriendly);
    w.U8(kOffChartPrinterFriendly, s.chartPrinterFriendly);
    w.U32(kOffReportOrientation, s.reportPrintOrientation);
    w.U32(kOffChartOrientation, s.chartPrintOrientation);
    for (std::size_t i = 0; i < s.reportFieldMasks.size(); ++i)
        w.U32(kOffFieldMasks + 4 * i, s.reportFieldMasks[i]);
    w.U8(kOffAutoScroll, s.autoScroll);
    return b;
}

bool ReadChartSettings(const std::uint8_t* data, std::size_t len, ChartSettings& s) {
    if (!data || len > ChartSettings::kBytes) return false;
    // The part a short record does not cover keeps the record's own values.
    ChartSettingsBytes b = WriteChartSettings(s);
    std::memcpy(b.data(), data, len);
    const Reader r(b);
    s.version = r.U32(kOffVersion);
    s.XMinorTicks = r.U8(kOffXMinor);
    s.XMajorTicks = r.U8(kOffXMajor);
    s.XGridLines = r.U8(kOffXGrid);
    s.xGridSpacing = r.U32(kOffXSpacing);
    s.YMinorTicks = r.U8(kOffYMinor);
    s.YMajorTicks = r.U8(kOffYMajor);
    s.YGridLines = r.U8(kOffYGrid);
    s.yGridSpacing = r.U32(kOffYSpacing);
    s.textColourAuto = r.U8(kOffTextAuto);
    s.gridColourAuto = r.U8(kOffGridAuto);
    s.TickSize = r.U32(kOffTickSize);
    s.timeMode = r.U32(kOffTimeMode);
    s.relativeTimeFormat = r.U32(kOffRelFormat);
    s.absoluteTimeFormat = r.U32(kOffAbsFormat);
    s.ColorBackGround = r.U32(kOffBackground);
    s.ColorGrid = r.U32(kOffGrid);
    s.ColorText = r.U32(kOffText);
    s.customBackgroundColour = r.U32(kOffCustomBackground);
    s.customGridColour = r.U32(kOffCustomGrid);
    s.backgroundPaletteIndex = r.U32(kOffBackgroundIndex);
    s.gridPaletteIndex = r.U32(kOffGridIndex);
    s.chartFont = r.Font(kOffChartFont);
    s.sampleRate = r.U32(kOffSampleRate);
    s.viewSpan = r.F64(kOffViewSpan);
    s.reportBackgroundColour = r.U32(kOffReportBackground);
    s.reportTextColour = r.U32(kOffReportText);
    s.reportCustomColour = r.U32(kOffReportCustom);
    s.reportBackgroundPaletteIndex = r.U32(kOffReportBackgroundIndex);
    s.reportTextColourAuto = r.U8(kOffReportTextAuto);
    s.reportFont = r.Font(kOffReportFont);
    s.reportPrinterFriendly = r.U8(kOffReportPrinterFriendly);
    s.chartPrinterFriendly = r.U8(kOffChartPrinterFriendly);
    s.reportPrintOrientation = r.U32(kOffReportOrientation);
    s.chartPrintOrientation = r.U32(kOffChartOrientation);
    for (std::size_t i = 0; i < s.reportFieldMasks.size(); ++i)
        s.reportFieldMasks[i] = r.U32(kOffFieldMasks + 4 * i);
    s.autoScroll = r.U8(kOffAutoScroll);
    s.chartFontSlot.reset();
    s.reportFontSlot.reset();
    UpgradeChartSettings(s);
    return true;
}

void UpgradeChartSettings(ChartSettings& s) {
    if (s.version < 2) {
        s.sampleRate = 1000;
        s.version = 2;
    }
    if (s.version < 3) {
        s.viewSpan = ChartSettings::kDefaultViewSpan;
        s.version = 3;
    }
    if (s.version < 4) {
        s.reportBackgroundColour = 0xFFFFFF;
        s.reportTextColour = 0x5C0000;
        s.reportCustomColour = 0xC8C8FF;
        s.reportBackgroundPaletteIndex = 1;
        s.reportTextColourAuto = 0;
        s.reportFont = s.chartFont;
        s.version = 4;
    }
    if (s.version < 5) {
        s.chartPrintOrientation = 0;
        s.reportPrinterFriendly = 1;
        s.chartPrinterFriendly = 1;
        s.reportPrintOrientation = 1;
        s.version = 5;
    }
    if (s.version < 6) {
        s.reportFieldMasks = {0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF};
        s.version = 6;
    }
}
