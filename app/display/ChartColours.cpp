#include "ChartColours.h"

#include <QGuiApplication>
#include <QPalette>

#include <algorithm>

namespace {

template <typename F> COLORREF PerComponent(COLORREF c, F f) {
    return ZynRGB(f(ZynRed(c)), f(ZynGreen(c)), f(ZynBlue(c)));
}

} // namespace

COLORREF SystemWindowColour() {
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return 0xFFFFFF;
    return FromQColor(QGuiApplication::palette().color(QPalette::Base));
}

COLORREF ContrastShift(COLORREF c, int n) {
    return PerComponent(c, [n](int v) { return v > 126 ? v - n : v + n; });
}

COLORREF MaskColour(COLORREF c, int m) {
    return PerComponent(c, [m](int v) { return v & m; });
}

COLORREF AutoTextColour(COLORREF background) {
    return PerComponent(background, [](int v) { return v < 128 ? 255 - v : 0; });
}

COLORREF Blend(COLORREF c, COLORREF t, int percent) {
    const int p = std::clamp(percent, 0, 100);
    return ZynRGB(ZynRed(c) + (ZynRed(t) - ZynRed(c)) * p / 100,
                  ZynGreen(c) + (ZynGreen(t) - ZynGreen(c)) * p / 100,
                  ZynBlue(c) + (ZynBlue(t) - ZynBlue(c)) * p / 100);
}

COLORREF EffectiveGridColour(const ChartSettings& s) {
    return s.gridColourAuto ? ContrastShift(s.ColorBackGround, 80) : s.ColorGrid;
}

COLORREF EffectiveTextColour(const ChartSettings& s) {
    return s.textColourAuto ? AutoTextColour(s.ColorBackGround) : s.ColorText;
}

COLORREF EffectiveReportTextColour(const ChartSettings& s) {
    return s.reportTextColourAuto ? AutoTextColour(s.reportBackgroundColour) : s.reportTextColour;
}
