#include "ViewFixture.h"

#include "display/DisplayFormat.h"
#include "display/LinearMap.h"
#include "view/ChartRenderSource.h"

#include <QAction>
#include <QFile>
#include <QMenu>
#include <QPainter>
#include <QPrinter>
#include <QScreen>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QToolTip>

namespace {

using ViewTest = ViewFixture;

constexpr double kMinute = kMinuteDays;

TEST_F(ViewTest, ZoomStepsClampAtBothEndsAndBeep) {
    CTallonView& v = MakeView();
    QSignalSpy status(&v, &CTallonView::statusMessage);
    QAction* zoom = v.Action(CTallonView::kCmdZoom);
    EXPECT_NEAR(v.TimeSpan(), 3 * kMinute, 1e-12);
    zoom->trigger(); // narrower: 2 minutes
    EXPECT_NEAR(v.TimeSpan(), 2 * kMinute, 1e-12);
    ASSERT_EQ(status.count(), 1);
    EXPECT_EQ(status.at(0).at(0).toString(), QStringLiteral("Chart zoom is now 2.00 minutes"));
    zoom->trigger();
    zoom->trigger(); // already at 1 minute
    EXPECT_NEAR(v.TimeSpan(), kMinute, 1e-12);
    EXPECT_EQ(ui.beeps, 1);

    ui.shift = true; // wider
    for (int i = 0; i < 25; ++i)
        zoom->trigger();
    EXPECT_NEAR(v.TimeSpan(), 15.0, 1e-12);
    EXPECT_EQ(ui.beeps, 1 + 6) << "19 steps from 1 minute to 15 days, then six beeps";

    v.SetZoom(100.0);
    EXPECT_EQ(ui.beeps, 8) << "a span beyond the table clamps to 15 days, already shown";
    v.SetZoom(1e-9);
    EXPECT_NEAR(v.TimeSpan(), kMinute, 1e-12);
    EXPECT_NEAR(doc->Settings().viewSpan, 3 * kMinute, 1e-12) << "zoom is the view's own";
}

TEST_F(ViewTest, ZoomSlotsListTheNeighboursAndACustomSpan) {
    CTallonView& v = MakeView();
    auto slotTexts = [&] {
        v.UpdateActions();
        QStringList texts;
        for (int i = 0; i < CTallonView::kZoomSlots; ++i)
            texts << v.Action(CTallonView::kCmdZoomSlot0 + i)->text();
        return texts;
    };
    auto checkedSlot = [&] {
        for (int i = 0; i < CTallonView::kZoomSlots; ++i)
            if (v.Action(CTallonView::kCmdZoomSlot0 + i)->isChecked()) return i;
        return -1;
    };
    EXPECT_EQ(slotTexts().join(u'|'),
              QStringLiteral("1.00 minute|2.00 minutes|3.00 minutes|5.00 minutes|10.00 minutes|"
                             "15.00 minutes|20.00 minutes"));
    EXPECT_EQ(checkedSlot(), 2);

    v.SetZoom(7 * kMinute); // not a table entry
    const QStringList custom = slotTexts();
    EXPECT_TRUE(custom.contains(QStringLiteral("7.00 minutes")));
    EXPECT_TRUE(custom.contains(QStringLiteral("5.00 minutes")));
    EXPECT_TRUE(custom.contains(QStringLiteral("10.00 minutes")));
    ASSERT_GE(checkedSlot(), 0);
    EXPECT_EQ(custom.at(checkedSlot()), QStringLiteral("7.00 minutes"));

    v.Action(CTallonView::kCmdZoomSlot0 + 6)->trigger();
    EXPECT_NEAR(v.TimeSpan(), 30 * kMinute, 1e-12) << custom.join(u'|').toStdString();

    v.SetZoom(15.0);
    EXPECT_EQ(slotTexts().last(), QStringLiteral("15.00 days"));
    EXPECT_EQ(checkedSlot(), 6);
}

TEST_F(ViewTest, ZoomAllOnAnEmptyChartZoomsToOneMinuteThenBeeps) {
    CTallonView& v = MakeView();
    v.Action(CTallonView::kCmdZoomAll)->trigger();
    EXPECT_NEAR(v.TimeSpan(), kMinute, 1e-12);
    v.Action(CTallonView::kCmdZoomAll)->trigger();
    EXPECT_EQ(ui.beeps, 1);
}

TEST_F(ViewTest, UserWheelStopsAutoScrollItsOwnScrollingDoesNot) {
    Record(20);
    CTallonView& v = MakeView();
    ASSERT_TRUE(v.AutoScroll());
    ASSERT_GT(v.ScrollMaximum(), 0);
    v.Wheel(480, false);
    EXPECT_TRUE(v.AutoScroll());
    const int step = v.viewport()->width() / 10;
    EXPECT_EQ(v.ScrollPosition(), 4 * step);

    QWheelEvent wheel(QPointF(100, 100), QPointF(100, 100), QPoint(), QPoint(0, -120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(v.viewport(), &wheel);
    EXPECT_FALSE(v.AutoScroll());
    EXPECT_EQ(v.ScrollPosition(), 3 * step) << "a negative turn goes towards earlier times";

    v.Wheel(60, true);
    EXPECT_EQ(v.ScrollPosition(), 3 * step) << "less than one notch does nothing";
    v.ScrollBy(1 << 30, false);
    EXPECT_EQ(v.ScrollPosition(), v.ScrollMaximum());
}

// A touchpad's wheel events carry a fraction of a notch each; the view used to drop every one of
// them, so two-finger scrolling never moved the chart.
TEST_F(ViewTest, TouchpadDeltasAddUpToWholeWheelSteps) {
    Record(20);
    CTallonView& v = MakeView();
    v.ScrollBy(-(1 << 30), false);
    const int step = v.viewport()->width() / 10;
    auto turn = [&](int delta) {
        QWheelEvent wheel(QPointF(100, 100), QPointF(100, 100), QPoint(), QPoint(0, delta), Qt::NoButton,
                          Qt::NoModifier, Qt::ScrollUpdate, false);
        QCoreApplication::sendEvent(v.viewport(), &wheel);
    };
    for (int i = 0; i < 3; ++i)
        turn(40);
    EXPECT_EQ(v.ScrollPosition(), step) << "three thirds of a notch make one step";
    EXPECT_FALSE(v.AutoScroll());
    turn(100);
    EXPECT_EQ(v.ScrollPosition(), step);
    turn(-30);
    EXPECT_EQ(v.ScrollPosition(), step) << "turning back drops what was gathered the other way";
    turn(-90);
    EXPECT_EQ(v.ScrollPosition(), 0);
    turn(360);
    EXPECT_EQ(v.ScrollPosition(), 3 * step) << "a whole turn at once still counts in full";
}

// The time under the pointer: its pixel column on the plot, as the renderer maps times.
int PixelOfTime(CTallonView& v, double t) {
    ChartRenderInput in = GatherRenderInput(*v.Document());
    CChartRenderer& r = v.Renderer();
    LinearMap map;
    map.Setup(0, r.TotalScrollWidth(in), r.StartTime(in), r.EndTime(in));
    return map.Map(t) + r.PlotRect().left() - v.ScrollPosition();
}

TEST_F(ViewTest, HoverShowsTheTimeAndEveryVisibleChannelsValueThere) {
    CComPtr<IZynChannel> wave = Record(2);
    wave->put_Name(CComBSTR(u"Wave"));
    wave->put_Units(CComBSTR(u"%"));
    CComPtr<IZynChannel> hidden;
    ASSERT_EQ(doc->Chart()->AddStaticChannel(&hidden), S_OK);
    hidden->put_Name(CComBSTR(u"Hidden"));
    LONG count = 0;
    hidden->AddValueRelTime(7.0, 30000, &count);
    hidden->put_Visible(0);
    CTallonView& v = MakeView();
    v.ScrollBy(-(1 << 30), false);
    QCoreApplication::processEvents();

    // Over the sample of second 30 (the renderer puts about three pixels between seconds).
    const double t30 = kViewStart + 30.0 / 86400.0;
    const QPoint at(PixelOfTime(v, t30), v.Renderer().PlotRect().center().y());
    QTest::mouseMove(v.viewport(), at);
    auto* cursor = v.viewport()->findChild<QWidget*>(QStringLiteral("HoverCursor"));
    ASSERT_TRUE(cursor);
    EXPECT_TRUE(cursor->isVisible());
    EXPECT_EQ(cursor->geometry().left(), at.x());
    EXPECT_EQ(cursor->geometry().top(), v.Renderer().PlotRect().top());
    const QString tip = QToolTip::text();
    const QString expected = FormatNumberWithUnits(50.0 + 40.0 * std::sin(30 / 20.0), QStringLiteral("%"));
    EXPECT_TRUE(tip.contains(QStringLiteral("Wave: ") + expected)) << tip.toStdString();
    EXPECT_TRUE(tip.contains(QStringLiteral("0:00:30"))) << tip.toStdString();
    EXPECT_FALSE(tip.contains(QStringLiteral("Hidden"))) << "invisible channels say nothing";

    // Past the last sample the wave has no value; on the value labels there is no read-out.
    QTest::mouseMove(v.viewport(), QPoint(PixelOfTime(v, kViewStart + 150.0 / 86400.0), at.y()));
    EXPECT_TRUE(cursor->isVisible());
    EXPECT_FALSE(QToolTip::text().contains(QStringLiteral("Wave"))) << QToolTip::text().toStdString();
    QTest::mouseMove(v.viewport(), v.Renderer().ValueLabelColumn().center());
    EXPECT_FALSE(cursor->isVisible());
    EXPECT_TRUE(QTest::qWaitFor([] { return !QToolTip::isVisible(); }, 5000)) << "the tip fades out";

    // Leaving the chart takes the read-out away.
    QTest::mouseMove(v.viewport(), at);
    EXPECT_TRUE(cursor->isVisible());
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(v.viewport(), &leave);
    EXPECT_FALSE(cursor->isVisible());
}

// A wheel turn with the pointer resting on the plot scrolled the cursor line's pixels along with
// the chart, and that copy stayed painted (on an X server) until something else repainted there.
// What is on the screen must match the picture drawn afresh.
TEST_F(ViewTest, WheelScrollLeavesNoCopyOfTheHoverLine) {
    Record(20)->put_Visible(0); // a plain plot: the line is all that can differ
    CTallonView& v = MakeView();
    v.ScrollBy(-(1 << 30), false);
    v.ScrollBy(v.viewport()->width(), false);
    QCoreApplication::processEvents();
    const QRect plot = v.Renderer().PlotRect();
    const QPoint at(plot.center().x(), plot.center().y());
    QTest::mouseMove(v.viewport(), at);
    auto* cursor = v.viewport()->findChild<QWidget*>(QStringLiteral("HoverCursor"));
    ASSERT_TRUE(cursor && cursor->isVisible());
    v.repaint();
    QCoreApplication::processEvents();

    QWheelEvent wheel(QPointF(at), v.viewport()->mapToGlobal(QPointF(at)), QPoint(), QPoint(0, -120),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(v.viewport(), &wheel);
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    ASSERT_TRUE(cursor->isVisible());
    EXPECT_EQ(cursor->geometry().left(), at.x()) << "the line stays under the pointer";

    const QPoint origin = v.viewport()->mapTo(v.window(), QPoint(0, 0));
    const QImage shown = v.screen()
                             ->grabWindow(v.window()->winId(), origin.x(), origin.y(), v.viewport()->width(),
                                          v.viewport()->height())
                             .toImage()
                             .convertToFormat(QImage::Format_RGB32);
    const QImage fresh = v.viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(shown.size(), fresh.size());
    int stale = -1;
    for (int x = plot.left() + 1; x < plot.right() && stale < 0; ++x) {
        const int y = plot.center().y() + 7; // clear of the value grid's middle line
        if (x != at.x() && shown.pixel(x, y) != fresh.pixel(x, y)) stale = x;
    }
    EXPECT_EQ(stale, -1) << "a column the screen shows unlike the picture, the line at " << at.x();
}

TEST_F(ViewTest, ScrollBarUseStopsAutoScrollAndTheToggleReports) {
    Record(20);
    CTallonView& v = MakeView();
    QSignalSpy status(&v, &CTallonView::statusMessage);
    v.horizontalScrollBar()->triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_FALSE(v.AutoScroll());
    v.Action(CTallonView::kCmdAutoScroll)->trigger();
    EXPECT_TRUE(v.AutoScroll());
    v.Action(CTallonView::kCmdAutoScroll)->trigger();
    ASSERT_EQ(status.count(), 2);
    EXPECT_EQ(status.at(0).at(0).toString(), QStringLiteral("Auto-scroll is enabled"));
    EXPECT_EQ(status.at(1).at(0).toString(), QStringLiteral("Auto-scroll is now disabled."));
    EXPECT_EQ(status.at(1).at(1).toInt(), 1);
    v.UpdateActions();
    EXPECT_FALSE(v.Action(CTallonView::kCmdAutoScroll)->isChecked());
}

TEST_F(ViewTest, NewSamplesRepaintOnlyTheirStrip) {
    ASSERT_TRUE(doc->AddChannelByPath(kCpuPath));
    CTallonView& v = MakeView();
    doc->Chart()->Sample();
    doc->Chart()->Sample();
    QTRY_VERIFY_WITH_TIMEOUT(v.PaintCount() > 0, 3000);
    // From here on, only samples: each notification asks for one data-only strip.
    const int strips = v.DataStripCount();
    doc->Chart()->Sample();
    QTRY_VERIFY_WITH_TIMEOUT(v.DataStripCount() > strips, 3000);
    const QRect plot = v.Renderer().PlotRect();
    EXPECT_LT(v.LastDataStrip().width(), plot.width() / 4) << "a strip, not the whole plot";
    EXPECT_EQ(v.LastDataStrip().top(), plot.top());
    EXPECT_EQ(v.LastDataStrip().bottom(), plot.bottom());
}

TEST_F(ViewTest, ClearAsksUnlessShiftIsHeld) {
    Record(2);
    CTallonView& v = MakeView();
    QSignalSpy status(&v, &CTallonView::statusMessage);
    ui.answerYes = false;
    v.Action(CTallonView::kCmdClearChart)->trigger();
    EXPECT_EQ(ui.questions, 1);
    EXPECT_GT(doc->LastTime(), kViewStart + kMinute);
    ui.shift = true;
    v.Action(CTallonView::kCmdClearChart)->trigger();
    EXPECT_EQ(ui.questions, 1);
    ASSERT_EQ(status.count(), 1);
    EXPECT_EQ(status.at(0).at(0).toString(), QStringLiteral("The chart has been cleared."));
    EXPECT_EQ(status.at(0).at(1).toInt(), 2);
}

TEST_F(ViewTest, EventsAreAddedListedStoppedAndHitByDoubleClick) {
    // Events start now: a recording that ends now puts their markers in the first plot width.
    Record(2, 0x00FF00, GetTimeAsDouble() - 2 * kMinute);
    CTallonView& v = MakeView();
    eventComment = QStringLiteral("load test");
    v.Action(CTallonView::kCmdAddEvent)->trigger();
    eventName = QString(""); // an empty name takes the default
    v.Action(CTallonView::kCmdAddEvent)->trigger();
    auto events = doc->Events();
    ASSERT_EQ(events.size(), 2u);
    CComBSTR name, comment;
    events[1]->get_Name(&name);
    events[0]->get_Comment(&comment);
    EXPECT_EQ(name.ToUtf8(), "Event 2");
    EXPECT_EQ(comment.ToUtf8(), "load test");

    QMenu menu;
    v.FillStopEventMenu(&menu);
    ASSERT_EQ(menu.actions().size(), 2);
    EXPECT_EQ(menu.actions().at(1)->text(), QStringLiteral("Event 2 (2)"));
    EXPECT_EQ(menu.actions().at(1)->data().toInt(), CTallonView::kCmdStopEventFirst + 2);
    QSignalSpy status(&v, &CTallonView::statusMessage);
    menu.actions().at(0)->trigger();
    LONG running = 1;
    events[0]->get_InProgress(&running);
    EXPECT_EQ(running, 0);
    EXPECT_EQ(status.at(0).at(0).toString(), QStringLiteral("Event 1 has been stopped."));
    EXPECT_FALSE(v.StopEvent(1)) << "no longer running";
    EXPECT_EQ(ui.errors.value(0), QStringLiteral("Error stopping the event you selected."));
    v.FillStopEventMenu(&menu);
    EXPECT_EQ(menu.actions().size(), 1);
    v.UpdateActions();
    EXPECT_TRUE(v.Action(CTallonView::kCmdStopEvent)->isEnabled());

    QSignalSpy hits(&v, &CTallonView::eventDoubleClicked);
    QSignalSpy sheets(&v, &CTallonView::propertiesRequested);
    ChartRenderInput in = GatherRenderInput(*doc);
    QImage image(v.viewport()->size(), QImage::Format_RGB32);
    QPainter painter(&image);
    v.Renderer().Draw(painter, image.rect(), image.rect(), in);
    const auto markers = v.Renderer().Markers();
    painter.end();
    const QRect plot = v.Renderer().PlotRect();
    ASSERT_FALSE(markers.empty());
    bool tried = false;
    for (const EventMarker& m : markers) {
        if (m.isStop) continue;
        const QPoint centre = m.rect.center() + QPoint(plot.left() - v.ScrollPosition(), plot.top());
        if (!plot.contains(centre)) continue;
        v.DoubleClickAt(centre);
        tried = true;
        ASSERT_EQ(hits.count(), 1);
        EXPECT_EQ(hits.at(0).at(0).toInt(), m.eventIndex);
        break;
    }
    EXPECT_TRUE(tried) << "an event marker inside the visible plot";
    v.DoubleClickAt(v.Renderer().ValueLabelColumn().center());
    v.DoubleClickAt(plot.bottomRight() - QPoint(3, 3));
    ASSERT_EQ(sheets.count(), 2);
    EXPECT_EQ(sheets.at(0).at(0).toInt(), 3);
    EXPECT_EQ(sheets.at(1).at(0).toInt(), 0);
}

TEST_F(ViewTest, ContextMenuCarriesTheChartCommands) {
    CTallonView& v = MakeView();
    QMenu* menu = v.ContextMenu();
    QStringList texts;
    for (QAction* a : menu->actions())
        texts << a->text();
    EXPECT_EQ(texts.join(u'|').toStdString(),
              "&Zoom|Auto A&xis|A&uto Scroll|&Pause|&Refresh||P&roperties...");
    EXPECT_TRUE(v.Action(CTallonView::kCmdAutoAxis)->isChecked()) << "setting 111 defaults to 1";
    v.Action(CTallonView::kCmdAutoAxis)->trigger();
    EXPECT_EQ(ctx.Settings().Get(CNumberedSettings::kBroadcastSelection), 0u);
}

int PdfPages(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return -1;
    const QByteArray pdf = f.readAll();
    int pages = 0;
    for (qsizetype i = pdf.indexOf("/Type /Page"); i >= 0; i = pdf.indexOf("/Type /Page", i + 1)) {
        if (pdf.mid(i, 12) != "/Type /Pages") ++pages;
    }
    return pages;
}

TEST_F(ViewTest, PrintsOnePagePerTimeWindowToPdf) {
    QTemporaryDir dir;
    Record(10);
    CTallonView& v = MakeView();
    EXPECT_EQ(v.PageCount(), 4) << "10 minutes at 3 minutes a page";
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(dir.filePath(QStringLiteral("chart.pdf")));
    v.PrintPages(printer);
    EXPECT_EQ(PdfPages(printer.outputFileName()), 4);
    EXPECT_EQ(printer.pageLayout().orientation(), QPageLayout::Landscape);
    EXPECT_EQ(doc->WindowStart(), 0.0) << "the page overrides are cleared";
    EXPECT_FALSE(doc->FreezeUpdates());
}

TEST_F(ViewTest, AChartWithoutDataStillPrintsOnePage) {
    QTemporaryDir dir;
    CTallonView& v = MakeView();
    EXPECT_EQ(v.PageCount(), 1);
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(dir.filePath(QStringLiteral("empty.pdf")));
    v.PrintPages(printer);
    EXPECT_EQ(PdfPages(printer.outputFileName()), 1);
}

} // namespace
