#include "ColourPalette.h"

#include "display/ChartColours.h"
#include "resources/ZynStrings.h"

#include <QStringList>

#include <algorithm>

namespace zyn::options {

namespace {

constexpr std::array<COLORREF, kPaletteSize> kChartColours = {
    ZynRGB(0, 0, 0),       ZynRGB(255, 255, 255), ZynRGB(222, 184, 135), ZynRGB(80, 80, 80),
    ZynRGB(47, 79, 69),    ZynRGB(240, 230, 140), ZynRGB(143, 188, 143), ZynRGB(80, 0, 0),
    ZynRGB(0, 0, 48),      ZynRGB(85, 107, 47),   ZynRGB(255, 140, 0),   ZynRGB(64, 0, 64),
    ZynRGB(255, 255, 255), ZynRGB(255, 255, 255),
};

constexpr std::array<COLORREF, kPaletteSize> kReportColours = {
    ZynRGB(0, 0, 0),       ZynRGB(255, 255, 255), ZynRGB(254, 237, 226), ZynRGB(240, 255, 240),
    ZynRGB(222, 149, 96),  ZynRGB(240, 230, 140), ZynRGB(143, 188, 143), ZynRGB(255, 250, 205),
    ZynRGB(0, 0, 48),      ZynRGB(138, 176, 238), ZynRGB(255, 255, 234), ZynRGB(64, 0, 64),
    ZynRGB(255, 255, 255), ZynRGB(255, 255, 255),
};

} // namespace

Palette LoadPalette(PaletteKind kind) {
    const bool chart = kind == PaletteKind::Chart;
    const QStringList names = LoadZynString(chart ? 50098 : 50097).split(u'\n');
    const auto& colours = chart ? kChartColours : kReportColours;
    Palette palette;
    for (int i = 0; i < kPaletteSize; ++i)
        palette[std::size_t(i)] = {colours[std::size_t(i)], names.value(i), i};
    return palette;
}

int ClampPaletteIndex(std::uint32_t index) {
    return int(std::min<std::uint32_t>(index, kPaletteSize - 1));
}

} // namespace zyn::options
