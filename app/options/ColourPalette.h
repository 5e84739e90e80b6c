#pragma once
// The two fixed colour palettes of the option pages: the chart palette (background and grid
// colours) and the report palette (report background). 14 entries each; entry 12 stands for the
// system window colour and entry 13 for the custom colour, and their own colour is white until
// one is chosen.

#include "display/ChartSettings.h"

#include <QString>

#include <array>
#include <cstdint>

namespace zyn::options {

enum class PaletteKind { Chart, Report };

inline constexpr int kPaletteSize = 14;
inline constexpr int kPaletteNone = 12;
inline constexpr int kPaletteCustom = 13;

struct PaletteEntry {
    COLORREF colour = 0xFFFFFF;
    QString name; // from the text list 50098 (chart) or 50097 (report)
    int index = 0;
};
using Palette = std::array<PaletteEntry, kPaletteSize>;

Palette LoadPalette(PaletteKind kind);
// A stored palette index as an entry of the palette: 0..13.
int ClampPaletteIndex(std::uint32_t index);

} // namespace zyn::options
