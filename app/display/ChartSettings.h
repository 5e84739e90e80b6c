#pragma once
// ChartSettings: the display and behaviour settings of one chart. The same 324-byte record is kept
// per document, as the application default and inside chart files, so its byte layout is a file
// format: it is read and written field by field, never copied as a C++ object.

#include <QFont>

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

using COLORREF = std::uint32_t; // 0x00BBGGRR

// The font description stored in the record, laid out as the 92-byte LOGFONTW of the file.
struct ZynLogFont {
    std::int32_t lfHeight = 0; // negative: character height, positive: cell height, in pixels
    std::int32_t lfWidth = 0;
    std::int32_t lfEscapement = 0;
    std::int32_t lfOrientation = 0;
    std::int32_t lfWeight = 0;
    std::uint8_t lfItalic = 0;
    std::uint8_t lfUnderline = 0;
    std::uint8_t lfStrikeOut = 0;
    std::uint8_t lfCharSet = 0;
    std::uint8_t lfOutPrecision = 0;
    std::uint8_t lfClipPrecision = 0;
    std::uint8_t lfQuality = 0;
    std::uint8_t lfPitchAndFamily = 0;
    std::array<char16_t, 32> lfFaceName{};

    static constexpr std::size_t kBytes = 92;
    bool operator==(const ZynLogFont&) const = default;
};

// A run-time font of the record: the font object with the description it was made from.
struct ZynFontSlot {
    ZynLogFont logFont;
    QFont font;
};

struct ChartSettings {
    static constexpr std::size_t kBytes = 324;
    static constexpr std::uint32_t kCurrentVersion = 6;
    static constexpr double kDefaultViewSpan = 0.0020833333333333333; // 3 minutes
    // A palette index that stands for the system window colour.
    static constexpr std::uint32_t kSystemWindowPaletteIndex = 12;

    std::uint32_t version = kCurrentVersion;
    std::uint8_t XMinorTicks = 1;
    std::uint8_t XMajorTicks = 1;
    std::uint8_t XGridLines = 0;
    std::uint32_t xGridSpacing = 1; // 0 loose, 1 normal, 2 tight, 3 unchanged
    std::uint8_t YMinorTicks = 1;
    std::uint8_t YMajorTicks = 1;
    std::uint8_t YGridLines = 0;
    std::uint32_t yGridSpacing = 1;
    std::uint8_t textColourAuto = 0;
    std::uint8_t gridColourAuto = 0;
    std::uint32_t TickSize = 2;
    std::uint32_t timeMode = 1; // 0 clock time, 1 elapsed time
    std::uint32_t relativeTimeFormat = 1;
    std::uint32_t absoluteTimeFormat = 0;
    COLORREF ColorBackGround = 0x000000;
    COLORREF ColorGrid = 0xFFFF80;
    COLORREF ColorText = 0x00FFFF;
    COLORREF customBackgroundColour = 0xFF8080;
    COLORREF customGridColour = 0xFFFF80;
    std::uint32_t backgroundPaletteIndex = 0;
    std::uint32_t gridPaletteIndex = 13;
    ZynLogFont chartFont{}; // stored description; the live font is chartFontSlot
    std::uint32_t sampleRate = 1000;
    double viewSpan = kDefaultViewSpan;
    COLORREF reportBackgroundColour = 0xFFFFFF;
    COLORREF reportTextColour = 0x800000;
    COLORREF reportCustomColour = 0xC8C8FF;
    std::uint32_t reportBackgroundPaletteIndex = 1;
    std::uint8_t reportTextColourAuto = 0;
    ZynLogFont reportFont{};
    std::uint8_t reportPrinterFriendly = 1;
    std::uint8_t chartPrinterFriendly = 1;
    std::uint32_t reportPrintOrientation = 1; // 0 landscape, 1 portrait, 2 printer default
    std::uint32_t chartPrintOrientation = 0;
    std::array<std::uint32_t, 4> reportFieldMasks{0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF};
    std::uint8_t autoScroll = 1;

    // Run-time font objects; never stored (their slots in the record are written as zero).
    std::optional<ZynFontSlot> chartFontSlot;
    std::optional<ZynFontSlot> reportFontSlot;
};

using ChartSettingsBytes = std::array<std::uint8_t, ChartSettings::kBytes>;

// The record as stored: little-endian, padding and font slots zero.
ChartSettingsBytes WriteChartSettings(const ChartSettings& s);

// Reads `len` bytes over the start of the record `s` (a shorter record keeps s's own values in the
// part it does not cover), then upgrades it to the current version. The run-time fonts are dropped;
// FinishChartSettings recreates them. False, with `s` untouched, for null data or more than 324
// bytes.
[[nodiscard]] bool ReadChartSettings(const std::uint8_t* data, std::size_t len, ChartSettings& s);

// Raises a record of an older version step by step to the current one.
void UpgradeChartSettings(ChartSettings& s);
