#include "display/AxisRuler.h"
#include "display/LinearMap.h"

#include <QFont>
#include <QFontMetrics>

#include <gtest/gtest.h>

#include <cmath>

using namespace RulerFlags;

namespace {

TEST(LinearMapTest, MapsTruncatingTowardZeroAndFlagsOutOfRange) {
    LinearMap m;
    EXPECT_FALSE(m.Enabled());
    EXPECT_EQ(m.PixelStart(), -1);
    EXPECT_EQ(m.ValueSpan(), -1.0);
    m.Setup(10, 110, 0.0, 1.0);
    EXPECT_EQ(m.Map(0.0), 10);
    EXPECT_EQ(m.Map(0.5), 60);
    EXPECT_EQ(m.Map(0.3), 40);   // 29.999999... nudged to 30
    EXPECT_EQ(m.Map(-0.015), 9); // -1.5 truncates toward zero
    bool out = false;
    m.Map(1.5, &out);
    EXPECT_TRUE(out);
    m.Map(1.0, &out);
    EXPECT_FALSE(out);
    EXPECT_DOUBLE_EQ(m.Unmap(60), 0.5);
    m.Unmap(111, &out);
    EXPECT_TRUE(out);
    // Non-finite input and empty spans stay on the axis instead of overflowing.
    EXPECT_EQ(m.Map(std::nan("")), 10);
    m.Setup(0, 100, 5.0, 5.0);
    EXPECT_EQ(m.Map(7.0), 0);
    m.Setup(0, 100, 0.0, 1.0);
    EXPECT_EQ(m.Map(1e300), 1000000000);
}

TEST(AxisRulerTest, FitsStepCountsLabelsAgainstTheAxisLength) {
    AxisRuler r;
    r.minimum = 0;
    r.maximum = 100;
    r.minimumSpacing = 20;
    r.axisLength = 300;
    EXPECT_FALSE(r.FitsStep(5)); // 21 labels x 20 > 300
    EXPECT_EQ(r.step, -1.0);
    EXPECT_TRUE(r.FitsStep(10)); // 11 x 20 <= 300
    EXPECT_EQ(r.step, 10.0);
    EXPECT_FALSE(r.FitsStep(0));
}

TEST(AxisRulerTest, ResolvesExclusivePlacementFlags) {
    EXPECT_EQ(ResolveFlags(kShift | kCentre | kEndsShifted | kLabelsLeft), kEndsShifted | kLabelsLeft);
    EXPECT_EQ(ResolveFlags(kShift | kCentre), kShift);
    EXPECT_EQ(ResolveFlags(kCentre | kHFirstCentred), kCentre); // end bits need kEndsShifted
    EXPECT_EQ(ResolveFlags(kEndsShifted | kHLastCentred | kVFirstCentred), kEndsShifted | kVFirstCentred);
    EXPECT_EQ(ResolveFlags(kEndsShifted | kHFirstCentred | kVFirstCentred), kEndsShifted | kHFirstCentred);
}

AxisRuler Ruler0To100(int length) {
    AxisRuler r;
    r.minimum = 0;
    r.maximum = 100;
    r.minimumSpacing = 10;
    r.axisLength = unsigned(length);
    r.minorTickLength = 3;
    r.majorTickLength = 6;
    EXPECT_TRUE(r.FitsStep(50));
    return r;
}

TEST(AxisRulerTest, TicksGridAndDrawnFlags) {
    const QRect rect(0, 0, 101, 51); // left 0..100, top 0..50
    AxisRuler r = Ruler0To100(100);
    // Two majors at 0, 50, 100 plus 4 minors in each of the 2 intervals.
    auto lines = r.TickLines(rect, kTicksBottom);
    ASSERT_EQ(lines.size(), 3u + 8u);
    EXPECT_EQ(lines[0], QLine(0, 50, 0, 44));
    EXPECT_EQ(lines[1], QLine(10, 50, 10, 47)); // a minor tick at 1/5 of the interval
    EXPECT_EQ(lines.back(), QLine(100, 50, 100, 44));

    // Grid lines run across once; the second edge then only gets ticks.
    r.drawnFlags = 0;
    lines = r.TickLines(rect, kTicksTop | kGrid | kNoMinor);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1], QLine(50, 0, 50, 50));
    lines = r.TickLines(rect, kTicksBottom | kGrid | kNoMinor);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1], QLine(50, 50, 50, 44));

    // No lengths: nothing but grid lines.
    r.drawnFlags = 0;
    r.axisLength = 50; // the vertical extent of rect
    r.minorTickLength = r.majorTickLength = 0;
    EXPECT_TRUE(r.TickLines(rect, kTicksLeft).empty());
    r.drawnFlags = 0;
    lines = r.TickLines(rect, kTicksLeft | kGrid);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], QLine(0, 50, 100, 50));
}

TEST(AxisRulerTest, LabelPlacementForEndsShiftedAxes) {
    QFont font("DejaVu Sans");
    font.setPixelSize(12);
    const QFontMetrics fm(font);
    AxisRuler r = Ruler0To100(200);
    r.labelFormat = "%.0f";
    const QRect rect(100, 10, 201, 101); // 100..300 x 10..110

    // Horizontal: first centred on its tick, last shifted back by its full width, inner centred.
    auto labels = r.Labels(fm, rect, kLabelsBottom | kEndsShifted | kHFirstCentred);
    ASSERT_EQ(labels.size(), 3u);
    EXPECT_EQ(labels[0].text.toStdString(), "0");
    EXPECT_EQ(labels[0].alignment, Qt::AlignHCenter);
    EXPECT_EQ(labels[0].anchor, QPoint(100, 110));
    EXPECT_EQ(labels[1].alignment, Qt::AlignHCenter);
    EXPECT_EQ(labels[2].anchor, QPoint(300 - fm.horizontalAdvance("100"), 110));
    EXPECT_EQ(labels[2].alignment, Qt::AlignLeft);

    // Vertical: bottom label sits above the axis end, top label below the top, inner centred.
    r.axisLength = 100;
    labels = r.Labels(fm, rect, kLabelsLeft | kEndsShifted);
    ASSERT_EQ(labels.size(), 3u);
    EXPECT_EQ(labels[0].anchor, QPoint(100, 110 - fm.height()));
    EXPECT_EQ(labels[1].anchor, QPoint(100, 60 - fm.height() / 2));
    EXPECT_EQ(labels[2].anchor, QPoint(100, 10));
}

TEST(AxisRulerTest, OnlyVisibleMarksOfLongAxesAreLaidOut) {
    AxisRuler r;
    r.minimum = 0;
    r.maximum = 999999;
    r.minimumSpacing = 10;
    r.axisLength = 10000000; // ten million pixels, one tick every 10 pixels
    ASSERT_TRUE(r.FitsStep(1));
    r.minorTickLength = 0;
    r.majorTickLength = 5;
    r.visible = QRect(5000000, 0, 100, 20);
    const auto lines = r.TickLines(QRect(0, 0, 10000001, 20), kTicksBottom | kNoMinor);
    ASSERT_FALSE(lines.empty());
    EXPECT_LE(lines.size(), 11u);
    EXPECT_GE(lines.front().x1(), 5000000);
}

} // namespace
