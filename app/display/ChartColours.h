#pragma once
// Colour arithmetic of the chart and report: derived grid, text, watermark and printer colours.
// Every rule works on R, G and B separately and leaves the top byte 0.

#include "ChartSettings.h"

#include <QColor>

constexpr COLORREF ZynRGB(int r, int g, int b) {
    return COLORREF(r & 0xFF) | (COLORREF(g & 0xFF) << 8) | (COLORREF(b & 0xFF) << 16);
}
constexpr int ZynRed(COLORREF c) {
    return int(c & 0xFF);
}
constexpr int ZynGreen(COLORREF c) {
    return int((c >> 8) & 0xFF);
}
constexpr int ZynBlue(COLORREF c) {
    return int((c >> 16) & 0xFF);
}
inline QColor ToQColor(COLORREF c) {
    return QColor(ZynRed(c), ZynGreen(c), ZynBlue(c));
}
inline COLORREF FromQColor(const QColor& c) {
    return ZynRGB(c.red(), c.green(), c.blue());
}

// A component above 126 moves down by n, any other up by n (grid colours 80, watermark 16 or 30).
COLORREF ContrastShift(COLORREF c, int n);
// Each component ANDed with m (0x7f for printed channels, 0x3f for printed grid and text).
COLORREF MaskColour(COLORREF c, int m);
// A component below 128 becomes 255 - component, any other 0.
COLORREF AutoTextColour(COLORREF background);
// Each component moved p percent (clamped to 0..100) of the way from c to t.
COLORREF Blend(COLORREF c, COLORREF t, int percent);

// The system window colour (a palette's "None" entry); white without a GUI application.
COLORREF SystemWindowColour();

COLORREF EffectiveGridColour(const ChartSettings& s);
COLORREF EffectiveTextColour(const ChartSettings& s);
COLORREF EffectiveReportTextColour(const ChartSettings& s);
