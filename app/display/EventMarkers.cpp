#include "EventMarkers.h"

#include "ChartColours.h"
#include "ChartFonts.h"

#include <algorithm>

namespace {

bool Overlaps(const QRect& candidate, const std::vector<EventMarker>& placed) {
    return std::any_of(placed.begin(), placed.end(), [&](const EventMarker& m) {
        const QRect both = candidate.intersected(m.rect);
        return !both.isEmpty() && both.width() > m.rect.width() / 3;
    });
}

void Place(const QFontMetrics& metrics, int x, int top, const QString& label, COLORREF fill, int index,
           bool stop, std::vector<EventMarker>& placed) {
    const int cx = metrics.horizontalAdvance(label);
    const int cy = metrics.height();
    const int w = cx + cx / 2;
    const int h = cy + cy / 2;
    // Width 2w and height h, like the half-open rectangles markers have always been tested with.
    QRect r(x - w, top, 2 * w, h);
    // Bounded: one step per marker already placed is always enough to clear them all.
    for (std::size_t guard = 0; Overlaps(r, placed) && guard <= placed.size(); ++guard)
        r.translate(0, h);
    placed.push_back({r, QPoint(x, r.top()), label, fill, index, stop});
}

} // namespace

std::vector<EventMarker> LayoutEventMarkers(const QFontMetrics& metrics, const LinearMap& xMap,
                                            const std::vector<ChartEventView>& events, int top) {
    std::vector<EventMarker> placed;
    int number = 0;
    for (const ChartEventView& e : events) {
        ++number;
        const QString label = QString::asprintf(" %d", number);
        const bool finished = e.stopTime > 0;
        Place(metrics, xMap.Map(e.startTime), top, label, finished ? ZynRGB(0, 255, 0) : ZynRGB(255, 255, 0),
              number - 1, false, placed);
        if (finished)
            Place(metrics, xMap.Map(e.stopTime), top, label, ZynRGB(255, 0, 0), number - 1, true, placed);
    }
    return placed;
}

int MarkerFontPixelSize(int chartFontPixelSize, int dpiY) {
    if (dpiY <= 0) return std::max(1, chartFontPixelSize * 80 / 100);
    const int points = MulDiv(chartFontPixelSize, 72, dpiY);
    return std::max(1, MulDiv(points * 80 / 100, dpiY, 72));
}
