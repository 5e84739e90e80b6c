#include "AxisRuler.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

using namespace RulerFlags;

int RulerFlags::ResolveFlags(int flags) {
    const int kinds = flags & ~kPlacement;
    int shift = 0;
    if (flags & kEndsShifted)
        shift = kEndsShifted;
    else if (flags & kShift)
        shift = kShift;
    else if (flags & kCentre)
        shift = kCentre;
    int ends = 0;
    if (shift == kEndsShifted) {
        for (int bit : {kHFirstCentred, kVFirstCentred, kHLastCentred, kVLastCentred})
            if (flags & bit) {
                ends = bit;
                break;
            }
    }
    return kinds | shift | ends;
}

bool AxisRuler::FitsStep(double candidate) {
    const double n = std::fabs(std::trunc((maximum - minimum) / candidate)) + 1;
    if (std::isfinite(n) && candidate != 0 && double(minimumSpacing) * n <= double(axisLength)) {
        step = candidate;
        return true;
    }
    step = -1.0;
    return false;
}

AxisRuler::Steps AxisRuler::StepsFor(const QRect& rect) const {
    Steps st;
    const double range = maximum - minimum;
    if (step <= 0 || !std::isfinite(range) || range == 0 || axisLength == 0 || axisLength == unsigned(-1))
        return st;
    st.pixelsPerUnit = double(axisLength) / range;
    st.step = maximum < minimum ? -step : step;
    const double c = std::trunc(range / st.step + 0.4999);
    if (!std::isfinite(c) || c > 1e7) return st;
    st.count = std::max(1, int(c));
    const int inflate = int(axisLength / unsigned(st.count + 1)) + std::max(0, minimumSpacing);
    st.clip = rect.adjusted(-inflate, -inflate, inflate, inflate);
    if (!visible.isEmpty()) st.clip = st.clip.intersected(visible);
    st.valid = !st.clip.isEmpty();
    return st;
}

// Long time axes hold far more ticks than a window shows; start a little before the first one
// that can be seen.
int AxisRuler::FirstIndex(const Steps& st, const QRect& rect, bool horizontal) const {
    const double pixelsPerStep = std::fabs(st.step * st.pixelsPerUnit);
    if (!(pixelsPerStep > 0)) return 0;
    const double skipped =
        horizontal ? double(st.clip.left() - rect.left()) : double(rect.bottom() - st.clip.bottom());
    const double first = std::floor(skipped / pixelsPerStep) - 1;
    return first > 0 ? int(std::min(first, double(st.count))) : 0;
}

std::vector<QLine> AxisRuler::TickLines(const QRect& rect, int flags) {
    std::vector<QLine> lines;
    flags &= ~drawnFlags;
    const bool grid = flags & kGrid;
    int major = majorTickLength;
    int minor = minorTickLength;
    if (major == 0) major = minor;
    if (major <= 0 && minor <= 0 && !grid) return lines;
    const bool minorOn = drawMinorTicks && minor > 0 && !(flags & kNoMinor);
    const Steps st = StepsFor(rect);
    if (!st.valid) return lines;

    const auto clampX = [&](int x) { return std::clamp(x, rect.left(), rect.right()); };
    const auto clampY = [&](int y) { return std::clamp(y, rect.top(), rect.bottom()); };
    // One mark at `position` pixels along the axis for each tick kind in flags.
    const auto mark = [&](int position, int length, bool full) {
        if (flags & (kTicksTop | kTicksBottom)) {
            const int x = rect.left() + position;
            if (x < st.clip.left() || x > st.clip.right()) return false;
            if (flags & kTicksTop)
                lines.emplace_back(clampX(x), rect.top(), clampX(x),
                                   full ? rect.bottom() : clampY(rect.top() + length));
            if (flags & kTicksBottom)
                lines.emplace_back(clampX(x), rect.bottom(), clampX(x),
                                   full ? rect.top() : clampY(rect.bottom() - length));
        } else {
            const int y = rect.bottom() - position;
            if (y < st.clip.top() || y > st.clip.bottom()) return false;
            if (flags & kTicksLeft)
                lines.emplace_back(rect.left(), clampY(y), full ? rect.right() : clampX(rect.left() + length),
                                   clampY(y));
            if (flags & kTicksRight)
                lines.emplace_back(rect.right(), clampY(y),
                                   full ? rect.left() : clampX(rect.right() - length), clampY(y));
        }
        return true;
    };
    if (!(flags & kTickKinds)) return lines;

    bool drawnOne = false;
    const bool horizontal = flags & (kTicksTop | kTicksBottom);
    for (int i = FirstIndex(st, rect, horizontal); i <= st.count; ++i) {
        const double offset = i * st.step;
        const int position = int(std::trunc(offset * st.pixelsPerUnit));
        if (major > 0 || grid) {
            if (!mark(position, major, grid)) {
                if (drawnOne) break;
                continue;
            }
            drawnOne = true;
        }
        if (i == st.count || !minorOn) continue;
        for (int k = 1; k < minorPerMajor; ++k) {
            const double sub = offset + k * st.step / minorPerMajor;
            mark(int(std::trunc(sub * st.pixelsPerUnit)), minor, false);
        }
    }
    drawnFlags |= flags & (kTickKinds | kGrid);
    return lines;
}

QString AxisRuler::LabelText(double value) const {
    if (labelCallback) return labelCallback(value);
    const QString format = labelFormat.isEmpty() ? QStringLiteral("%1.3lf") : labelFormat;
    return QString::asprintf(format.toUtf8().constData(), value);
}

std::vector<RulerLabel> AxisRuler::Labels(const QFontMetrics& metrics, const QRect& rect, int flags) const {
    std::vector<RulerLabel> labels;
    const Steps st = StepsFor(rect);
    if (!st.valid || !(flags & kLabelKinds)) return labels;
    const bool horizontal = flags & (kLabelsTop | kLabelsBottom);
    const int textHeight = metrics.height();

    // How label i of count is placed: shifted along the axis or centred on its tick.
    const auto shifted = [&](int i) {
        if (flags & kShift) return true;
        if (!(flags & kEndsShifted)) return false;
        const bool first = i == 0, last = i == st.count;
        if (!first && !last) return false;
        if (horizontal) {
            if (first && (flags & kHFirstCentred)) return false;
            if (last && (flags & kHLastCentred)) return false;
        } else {
            if (first && (flags & kVFirstCentred)) return false;
            if (last && (flags & kVLastCentred)) return false;
        }
        return true;
    };

    bool placedOne = false;
    for (int i = FirstIndex(st, rect, horizontal); i <= st.count; ++i) {
        const double value = minimum + i * st.step;
        const int position = int(std::trunc(i * st.step * st.pixelsPerUnit));
        RulerLabel label;
        label.value = value;
        const double fraction = double(i) / st.count;
        if (horizontal) {
            int x = rect.left() + position;
            if (x < st.clip.left() || x > st.clip.right()) {
                if (placedOne) break;
                continue;
            }
            label.text = LabelText(value);
            const int y = (flags & kLabelsTop) ? rect.top() : rect.bottom();
            if (shifted(i)) {
                x -= int(std::trunc(fraction * metrics.horizontalAdvance(label.text)));
                label.alignment = Qt::AlignLeft;
            } else {
                label.alignment = Qt::AlignHCenter;
            }
            label.anchor = QPoint(x, y);
        } else {
            int y = rect.bottom() - position;
            if (y < st.clip.top() || y > st.clip.bottom()) {
                if (placedOne) break;
                continue;
            }
            label.text = LabelText(value);
            if (shifted(i))
                y -= int(std::trunc((1.0 - fraction) * textHeight));
            else
                y -= textHeight / 2;
            const bool right = (flags & kLabelsRight) && !(flags & kLabelsLeft);
            label.alignment = right ? Qt::AlignRight : Qt::AlignLeft;
            label.anchor = QPoint(right ? rect.right() : rect.left(), y);
        }
        placedOne = true;
        labels.push_back(std::move(label));
    }
    return labels;
}

void AxisRuler::DrawTicks(QPainter& painter, const QRect& rect, int flags) {
    const std::vector<QLine> lines = TickLines(rect, flags);
    if (!lines.empty()) painter.drawLines(lines.data(), int(lines.size()));
}

void AxisRuler::DrawLabels(QPainter& painter, const QRect& rect, int flags) {
    const QFontMetrics metrics = painter.fontMetrics();
    for (const RulerLabel& label : Labels(metrics, rect, flags)) {
        const int width = metrics.horizontalAdvance(label.text);
        int x = label.anchor.x();
        if (label.alignment & Qt::AlignHCenter) x -= width / 2;
        if (label.alignment & Qt::AlignRight) x -= width;
        painter.drawText(QPoint(x, label.anchor.y() + metrics.ascent()), label.text);
    }
}

void AxisRuler::Draw(QPainter& painter, const QRect& rect, int flags) {
    flags = ResolveFlags(flags);
    drawMinorTicks = !(flags & kNoMinor);
    if (rect.width() <= 9 || rect.height() <= 9) return;
    drawnFlags = 0;
    const int carried = flags & (kGrid | kNoMinor);
    for (int kind : {kTicksTop, kTicksBottom, kTicksLeft, kTicksRight})
        if (flags & kind) DrawTicks(painter, rect, kind | carried);
    const int placement = flags & kPlacement;
    for (int kind : {kLabelsTop, kLabelsBottom, kLabelsLeft, kLabelsRight})
        if (flags & kind) DrawLabels(painter, rect, kind | placement);
}
