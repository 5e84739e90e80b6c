#pragma once
// Event markers: a triangle per event start (green when finished, yellow while running) and one
// per stop (red), numbered in chart order and stacked downward where they would overlap. The
// layout is shared by painting and by the view's hit test.

#include "ChartRenderInput.h"
#include "LinearMap.h"

#include <QFontMetrics>
#include <QRect>

#include <vector>

struct EventMarker {
    QRect rect;
    QPoint apex;
    QString label;
    COLORREF fill = 0;
    int eventIndex = 0;
    bool isStop = false;
};

std::vector<EventMarker> LayoutEventMarkers(const QFontMetrics& metrics, const LinearMap& xMap,
                                            const std::vector<ChartEventView>& events, int top = 1);

// The marker font's pixel size: the chart font at 80 % of its point size on a target of `dpiY`.
int MarkerFontPixelSize(int chartFontPixelSize, int dpiY);
