#pragma once
// AxisRuler: the ticks, grid lines and labels of one axis along the edges of a rectangle. Marks and
// labels are laid out first (plain geometry, testable) and then drawn with the caller's pen and font.

#include <QFontMetrics>
#include <QLine>
#include <QPoint>
#include <QRect>
#include <QString>

#include <functional>
#include <vector>

class QPainter;

namespace RulerFlags {
enum : int {
    kTicksTop = 0x1,    // top edge, pointing down
    kTicksBottom = 0x2, // bottom edge, pointing up
    kTicksLeft = 0x4,   // left edge, pointing right
    kTicksRight = 0x8,  // right edge, pointing left
    kGrid = 0x10,       // major marks run to the opposite edge
    kNoMinor = 0x20,
    kLabelsTop = 0x40,
    kLabelsBottom = 0x80,
    kLabelsLeft = 0x100,  // text left-aligned at the edge
    kLabelsRight = 0x200, // text right-aligned at the edge
    kShift = 0x400,       // label i moves back by i/count of its extent
    kCentre = 0x800,
    kEndsShifted = 0x1000, // first and last shifted as kShift, inner centred
    kHFirstCentred = 0x2000,
    kHLastCentred = 0x4000,
    kVLastCentred = 0x8000,
    kVFirstCentred = 0x10000,
    kTickKinds = kTicksTop | kTicksBottom | kTicksLeft | kTicksRight,
    kLabelKinds = kLabelsTop | kLabelsBottom | kLabelsLeft | kLabelsRight,
    kPlacement =
        kShift | kCentre | kEndsShifted | kHFirstCentred | kHLastCentred | kVLastCentred | kVFirstCentred,
};
// Keeps one of kEndsShifted, kShift, kCentre (in that priority) and, only with kEndsShifted, one of
// kHFirstCentred, kVFirstCentred, kHLastCentred, kVLastCentred.
int ResolveFlags(int flags);
} // namespace RulerFlags

struct RulerLabel {
    QPoint anchor; // text top at anchor.y; anchor.x is the left, centre or right of the text
    Qt::Alignment alignment = Qt::AlignLeft;
    QString text;
    double value = 0.0;
};

class AxisRuler {
public:
    QString labelFormat;     // printf format; empty means "%1.3lf"
    int minimumSpacing = -1; // pixels one label needs along the axis
    unsigned axisLength = unsigned(-1);
    double minimum = 0.0;
    double maximum = 0.0;
    double step = -1.0; // -1: no step fits
    bool drawMinorTicks = true;
    int minorTickLength = 4;
    int majorTickLength = 10;
    int minorPerMajor = 5;
    std::function<QString(double)> labelCallback;
    int drawnFlags = 0;
    // Where marks can be seen at all (the update region); marks outside it are not laid out.
    // Empty means unlimited.
    QRect visible;

    // Whether labels `step` apart fit the axis; stores the step or -1.
    bool FitsStep(double candidate);

    void Draw(QPainter& painter, const QRect& rect, int flags);
    void DrawTicks(QPainter& painter, const QRect& rect, int flags);
    void DrawLabels(QPainter& painter, const QRect& rect, int flags);

    // The layout steps behind DrawTicks and DrawLabels. TickLines marks `flags` as drawn.
    std::vector<QLine> TickLines(const QRect& rect, int flags);
    std::vector<RulerLabel> Labels(const QFontMetrics& metrics, const QRect& rect, int flags) const;
    QString LabelText(double value) const;

private:
    struct Steps {
        double step = 0;
        double pixelsPerUnit = 0;
        int count = 0;
        QRect clip;
        bool valid = false;
    };
    Steps StepsFor(const QRect& rect) const;
    int FirstIndex(const Steps& st, const QRect& rect, bool horizontal) const;
};
