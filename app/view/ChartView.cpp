#include "ChartView.h"

#include "ChartRenderSource.h"
#include "display/ChartColours.h"
#include "display/ChartFonts.h"
#include "display/DisplayFormat.h"
#include "display/LinearMap.h"
#include "display/WideText.h"
#include "document/AppContext.h"
#include "document/CTallonChart.h"
#include "document/CommandActions.h"
#include "document/ZynMessageBox.h"
#include "resources/ZynFormat.h"
#include "resources/ZynStrings.h"

#include "com/ccombstr.h"
#include "com/variant.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QImage>
#include <QMenu>
#include <QPaintEvent>
#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QScrollBar>
#include <QToolTip>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace {

// A stop marker counts for a double-click only with a stop time after 28 November 2004.
constexpr double kStopMarkerEpoch = 38319.0;

// The span-table index of a span: the first entry not below it (within a millisecond).
int SpanIndex(double span) {
    const auto& table = CChartRenderer::SpanTable();
    constexpr double kTolerance = 1.0 / 86400000.0;
    const auto it =
        std::find_if(table.begin(), table.end(), [&](double e) { return e >= span - kTolerance; });
    return it == table.end() ? int(table.size()) - 1 : int(it - table.begin());
}

bool SameSpan(double a, double b) {
    return std::fabs(a - b) < 1.0 / 86400000.0;
}

} // namespace

CTallonView::CTallonView(CTallonChart* doc, CAppContext& context, QWidget* parent)
    : QAbstractScrollArea(parent), m_doc(doc), m_context(context) {
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setFrameShape(QFrame::NoFrame);
    setFocusPolicy(Qt::StrongFocus);
    // The renderer paints every pixel it is asked for, and a data-only repaint must find the
    // previous picture still there.
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setAutoFillBackground(false);

    QScrollBar* bar = horizontalScrollBar();
    connect(bar, &QScrollBar::actionTriggered, this, [this] {
        if (!m_programmaticScroll) m_autoScroll = false;
    });
    connect(bar, &QScrollBar::sliderPressed, this, [this] { SetScrolling(true); });
    connect(bar, &QScrollBar::sliderReleased, this, [this] { SetScrolling(false); });
    if (m_doc) connect(m_doc, &CTallonChart::updateViews, this, &CTallonView::OnUpdate);
    viewport()->setMouseTracking(true);
    m_hoverCursor = new CHoverCursor(viewport());
    CreateActions();
    InitialUpdate();
}

CTallonView::~CTallonView() = default;

void CTallonView::InitialUpdate() {
    if (!m_doc) return;
    m_doc->SetWindowOverrides(0.0, 0.0);
    CopyViewSettings();
    ResetLayout();
}

// A record whose view span is not positive asks for all of the data ("View all data" on the
// properties sheet).
void CTallonView::CopyViewSettings() {
    const ChartSettings& s = m_doc->Settings();
    m_renderer.CopyViewSettings(s);
    m_autoScroll = s.autoScroll != 0;
    m_renderer.ResolveAllDataSpan(GatherRenderInput(*m_doc));
}

void CTallonView::SetViewState(double span, bool autoScroll) {
    const auto& table = CChartRenderer::SpanTable();
    if (std::isfinite(span)) m_renderer.timeSpan = std::clamp(span, table.front(), table.back());
    m_autoScroll = autoScroll;
    ResetLayout();
}

// Lays out for the current client size without painting, so the scroll range is known before the
// first paint.
void CTallonView::ResetLayout() {
    m_renderer.MarkLayoutDirty();
    m_renderer.ResetScrollWidth();
    UpdateScrollRange();
    viewport()->update();
}

void CTallonView::UpdateScrollRange() {
    if (!m_doc) return;
    const QRect client = viewport()->rect();
    if (client.isEmpty()) return;
    const ChartRenderInput in = GatherRenderInput(*m_doc);
    if (m_renderer.LayoutDirty() || m_renderer.ScrollWidth() == 0) {
        QImage probe(1, 1, QImage::Format_RGB32);
        probe.setDotsPerMeterX(int(std::lround(logicalDpiX() / 0.0254)));
        probe.setDotsPerMeterY(int(std::lround(logicalDpiY() / 0.0254)));
        QPainter painter(&probe);
        m_renderer.Layout(painter, client, in);
    }
    const int total = m_renderer.TotalScrollWidth(in);
    const int plotWidth = m_renderer.PlotRect().width();
    QScrollBar* bar = horizontalScrollBar();
    m_programmaticScroll = true;
    bar->setRange(0, std::max(0, total - plotWidth));
    bar->setPageStep(std::max(1, plotWidth));
    bar->setSingleStep(std::max(1, client.width() / 10));
    m_programmaticScroll = false;
}

int CTallonView::ScrollPosition() const {
    return horizontalScrollBar()->value();
}
int CTallonView::ScrollMaximum() const {
    return horizontalScrollBar()->maximum();
}

int CTallonView::MajorTickMargin() const {
    return int(m_context.Settings().Get(CNumberedSettings::kMajorTickLength));
}

void CTallonView::paintEvent(QPaintEvent* event) {
    if (!m_doc) return;
    const QRect client = viewport()->rect();
    if (client.isEmpty() || event->rect().isEmpty()) return;
    QPainter painter(viewport());
    const ChartRenderInput in = GatherRenderInput(*m_doc);
    m_renderer.scrollX = horizontalScrollBar()->value();
    m_renderer.Draw(painter, client, event->rect(), in);
    ++m_paintCount;
    m_context.Settings().Set(CNumberedSettings::kMajorTickLength,
                             std::uint32_t(m_renderer.MajorTickLength()));
    if (m_renderer.TakeInvalidateAll()) {
        UpdateScrollRange();
        viewport()->update();
    }
}

void CTallonView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    ResetLayout();
}

// Moves the picture and repaints only what the move exposes plus the margins that ticks and
// labels reach into.
void CTallonView::scrollContentsBy(int dx, int) {
    if (dx == 0) return;
    // The pointer stays where it is while the times under it move. Scrolling a rectangle moves
    // its pixels but not the cursor line, so the line's painted copy is repainted where it lands.
    QRect staleLine;
    if (m_hoverCursor->isVisible()) {
        staleLine = m_hoverCursor->geometry().translated(dx, 0);
        QMetaObject::invokeMethod(
            this, [this] { UpdateHover(m_hoverPos); }, Qt::QueuedConnection);
    }
    const int d = -dx; // > 0 towards later times
    const int m = MajorTickMargin();
    const QRect client = viewport()->rect();
    const QRect plot = m_renderer.PlotRect();
    QRect area(QPoint(plot.left(), plot.top()), QPoint(client.right(), client.bottom()));
    if (d < 0)
        area.setLeft(area.left() + m);
    else
        area.setRight(area.right() - m);
    const int shift = std::abs(d);
    if (shift >= area.width() || area.isEmpty()) {
        viewport()->update();
        return;
    }
    viewport()->scroll(dx, 0, area);
    if (!staleLine.isNull()) viewport()->update(staleLine);
    viewport()->update(QRect(plot.left(), client.top(), 2 * m + (d < 0 ? shift : 0), client.height()));
    const int rightWidth = 2 * m + (d > 0 ? shift : 0);
    viewport()->update(QRect(client.right() - rightWidth + 1, client.top(), rightWidth, client.height()));
    const QRect column = m_renderer.ValueLabelColumn();
    const QRect band = m_renderer.TimeLabelBand();
    const int cornerRight = d < 0 ? column.right() + shift + m : column.right();
    viewport()->update(QRect(QPoint(client.left(), band.top() - m), QPoint(cornerRight, client.bottom())));
}

void CTallonView::ScrollBy(int dx, bool user) {
    if (user) m_autoScroll = false;
    QScrollBar* bar = horizontalScrollBar();
    const int target = std::clamp(bar->value() + dx, bar->minimum(), bar->maximum());
    if (target == bar->value()) return;
    m_programmaticScroll = true;
    bar->setValue(target);
    m_programmaticScroll = false;
}

void CTallonView::InvalidateWatermark() {
    const QRect w = m_renderer.WatermarkRect();
    if (!w.isEmpty()) viewport()->update(w);
}

void CTallonView::SetScrolling(bool scrolling) {
    if (m_renderer.scrolling == scrolling) return;
    m_renderer.scrolling = scrolling;
    InvalidateWatermark();
}

void CTallonView::Wheel(int delta, bool user) {
    if (std::abs(delta) < 120) return;
    int step = viewport()->width() / 10;
    if (step < 6) step = 5;
    const int distance = step * (std::abs(delta) / 120);
    SetScrolling(true);
    ScrollBy(delta > 0 ? distance : -distance, user);
    SetScrolling(false);
}

void CTallonView::UserWheel(int delta) {
    // A touchpad reports a turn in many small deltas; a change of direction starts afresh.
    if ((delta > 0 && m_wheelRemainder < 0) || (delta < 0 && m_wheelRemainder > 0)) m_wheelRemainder = 0;
    m_wheelRemainder += delta;
    const int whole = m_wheelRemainder / 120 * 120;
    if (whole == 0) return;
    m_wheelRemainder -= whole;
    Wheel(whole, true);
}

void CTallonView::wheelEvent(QWheelEvent* event) {
    const QPoint angle = event->angleDelta();
    UserWheel(angle.y() != 0 ? angle.y() : angle.x());
    event->accept();
}

void CTallonView::mouseMoveEvent(QMouseEvent* event) {
    UpdateHover(event->position().toPoint());
    QAbstractScrollArea::mouseMoveEvent(event);
}

bool CTallonView::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::Leave) HideHover();
    return QAbstractScrollArea::viewportEvent(event);
}

void CTallonView::HideHover() {
    m_hoverPos = QPoint(-1, -1);
    m_hoverCursor->hide();
    QToolTip::hideText();
}

void CTallonView::UpdateHover(const QPoint& pos) {
    const QRect plot = m_renderer.PlotRect();
    if (!m_doc || !plot.contains(pos) || m_renderer.printingPage) {
        if (m_hoverCursor->isVisible()) HideHover();
        return;
    }
    m_hoverPos = pos;
    const ChartRenderInput in = GatherRenderInput(*m_doc);
    m_renderer.scrollX = horizontalScrollBar()->value();
    const double t = m_renderer.TimeAtX(pos.x(), in);
    // Shown to the nearest second: a pixel is a fraction of one, and the formats cut fractions.
    const auto wholeSecond = [](double days) { return std::round(days * 86400.0) / 86400.0; };
    const QString timeText = m_renderer.timeMode == 1
                                 ? FormatDuration(wholeSecond(t - m_renderer.StartTime(in)), 0)
                                 : FormatTimeOrDateTime(wholeSecond(t));
    const auto values = ValuesAtTime(*m_doc, t, 2 * m_renderer.TimePerPixel(in));
    m_hoverCursor->ShowAt(pos.x(), plot.top(), plot.bottom(),
                          ToQColor(EffectiveTextColour(m_doc->Settings())));
    QToolTip::showText(viewport()->mapToGlobal(pos) + QPoint(12, 12), HoverReadoutText(timeText, values),
                       viewport());
}

// Zoom.

void CTallonView::SetZoom(double span) {
    const auto& table = CChartRenderer::SpanTable();
    if (!std::isfinite(span)) return;
    span = std::clamp(span, table.front(), table.back());
    if (SameSpan(span, m_renderer.timeSpan)) {
        if (m_context.ui.beep) m_context.ui.beep(1200, 5);
        return;
    }
    m_renderer.timeSpan = span;
    OnUpdate(kHintZoom);
    Status(ZynFormat(50099, {FormatSpan(span)}), 0);
}

void CTallonView::ZoomStep(bool wider) {
    const auto& table = CChartRenderer::SpanTable();
    const int i = std::clamp(SpanIndex(m_renderer.timeSpan) + (wider ? 1 : -1), 0, int(table.size()) - 1);
    SetZoom(table[std::size_t(i)]);
}

double CTallonView::ZoomSlotSpan(int slot) const {
    const auto& table = CChartRenderer::SpanTable();
    const double current = m_renderer.timeSpan;
    std::vector<double> list(table.begin(), table.end());
    const int c = SpanIndex(current);
    const bool custom = !SameSpan(table[std::size_t(c)], current);
    if (custom) list.insert(list.begin() + c, current);
    const int n = int(list.size());
    int base = 0;
    if (c < 3)
        base = 3 - c;
    else if (c >= n - 4)
        base = n - c - 4;
    else if (custom && c > 3)
        base = 1;
    const int index = std::clamp(c + base + (slot - 3), 0, n - 1);
    return list[std::size_t(index)];
}

void CTallonView::ZoomAll() {
    if (!m_doc) return;
    const ChartRenderInput in = GatherRenderInput(*m_doc);
    const double start = m_renderer.StartTime(in), last = m_renderer.LastTime(in);
    if (last > start) SetZoom(last - start);
}

void CTallonView::ToggleAutoScroll() {
    m_autoScroll = !m_autoScroll;
    if (m_autoScroll)
        Status(LoadZynString(50113), 0);
    else
        Status(LoadZynString(50114), 1);
}

// Commands.

void CTallonView::ClearChart() {
    if (!m_doc || !m_doc->Chart()) return;
    if (!m_context.NoPrompts() && !ZynAskYesNo(LoadZynString(50102))) return;
    m_doc->Chart()->Clear();
    Status(LoadZynString(50100), 2);
}

void CTallonView::AddEvent() {
    if (!m_doc || !m_doc->Chart()) return;
    const QString defaultName = QStringLiteral("Event %1").arg(m_doc->NextEventNumber());
    QString name = defaultName, comment;
    if (!eventDialog || !eventDialog(this, name, comment)) return;
    if (name.isEmpty()) name = defaultName;
    CComPtr<IZynEvent> event;
    if (FAILED(m_doc->Chart()->AddEvent(ToBstr(name), &event)) || !event) return;
    if (!comment.isEmpty()) event->put_Comment(ToBstr(comment));
    m_doc->SetModifiedFlag(true);
}

bool CTallonView::AnyEventInProgress() const {
    if (!m_doc) return false;
    for (const auto& e : m_doc->Events()) {
        LONG running = 0;
        if (SUCCEEDED(e->get_InProgress(&running)) && running) return true;
    }
    return false;
}

void CTallonView::FillStopEventMenu(QMenu* menu) {
    menu->clear();
    int ordinal = 0;
    bool added = false;
    if (m_doc) {
        for (const auto& e : m_doc->Events()) {
            ++ordinal;
            LONG running = 0;
            if (FAILED(e->get_InProgress(&running)) || !running) continue;
            CComBSTR name;
            e->get_Name(&name);
            QAction* item = menu->addAction(QStringLiteral("%1 (%2)").arg(FromBstr(name)).arg(ordinal));
            item->setData(kCmdStopEventFirst + ordinal);
            const int which = ordinal;
            connect(item, &QAction::triggered, this, [this, which] { StopEvent(which); });
            added = true;
        }
    }
    if (!added) {
        // The placeholder of the menus, shown (disabled) while no event runs.
        QAction* placeholder = menu->addAction(tr("No Events to Stop"));
        placeholder->setData(int(kCmdStopEvent));
        placeholder->setEnabled(false);
    }
    menu->setEnabled(added);
    menu->menuAction()->setEnabled(added);
}

bool CTallonView::StopEvent(int ordinal) {
    if (m_doc) {
        const auto events = m_doc->Events();
        if (ordinal >= 1 && std::size_t(ordinal) <= events.size()) {
            IZynEvent* e = events[std::size_t(ordinal - 1)];
            LONG running = 0;
            if (SUCCEEDED(e->get_InProgress(&running)) && running && SUCCEEDED(e->Stop())) {
                CComBSTR name;
                e->get_Name(&name);
                Status(ZynFormat(50129, {FromBstr(name)}), 0);
                return true;
            }
        }
    }
    Status(LoadZynString(50130), 2);
    ZynMessageBox(LoadZynString(50130));
    return false;
}

void CTallonView::ToggleAutoAxis() {
    CNumberedSettings& settings = m_context.Settings();
    if (settings.Get(CNumberedSettings::kBroadcastSelection) == 0) {
        settings.Set(CNumberedSettings::kBroadcastSelection, 1);
        if (m_doc) m_doc->SyncSelectedChannel();
    } else {
        settings.Set(CNumberedSettings::kBroadcastSelection, 0);
    }
}

void CTallonView::Refresh() {
    m_renderer.ResetScrollWidth();
    m_renderer.MarkLayoutDirty();
    UpdateScrollRange();
    viewport()->update();
}

void CTallonView::CreateActions() {
    auto add = [this](int id, const QString& text, auto&& handler) {
        QAction* a = MakeCommandAction(this, m_actions, id, text);
        connect(a, &QAction::triggered, this, handler);
        return a;
    };
    add(kCmdProperties, tr("P&roperties..."), [this] { emit propertiesRequested(0); });
    add(kCmdClearChart, tr("&Clear Chart"), [this] { ClearChart(); });
    for (int slot = 0; slot < kZoomSlots; ++slot) {
        QAction* a = MakeCommandAction(this, m_actions, kCmdZoomSlot0 + slot, QString::number(slot + 1));
        a->setStatusTip(LoadZynString(kCmdZoomSlot0));
        a->setCheckable(true);
        connect(a, &QAction::triggered, this, [this, slot] { SetZoom(ZoomSlotSpan(slot)); });
    }
    add(kCmdRefresh, tr("&Refresh"), [this] { Refresh(); });
    add(kCmdZoom, tr("&Zoom"), [this] {
        const Qt::KeyboardModifiers mods =
            m_context.ui.keyboardModifiers ? m_context.ui.keyboardModifiers() : Qt::NoModifier;
        ZoomStep(mods & (Qt::ShiftModifier | Qt::ControlModifier));
    });
    add(kCmdZoomAll, tr("&All"), [this] { ZoomAll(); });
    add(kCmdAutoScroll, tr("A&uto Scroll"), [this] { ToggleAutoScroll(); })->setCheckable(true);
    add(kCmdAutoAxis, tr("Auto A&xis"), [this] { ToggleAutoAxis(); })->setCheckable(true);
    add(kCmdAddEvent, tr("Add &Event..."), [this] { AddEvent(); });
    add(kCmdStopEvent, tr("S&top Event"), [] {});
    add(kCmdFilePrint, tr("&Print..."), [this] { FilePrint(); });
    add(kCmdFilePrintDirect, tr("Print &Direct"), [this] { FilePrintDirect(); });
    add(kCmdFilePrintPreview, tr("Print Pre&view"), [this] { FilePrintPreview(); });

    m_contextMenu = new QMenu(this);
    QMenu* zoom = m_contextMenu->addMenu(tr("&Zoom"));
    for (int slot = 0; slot < kZoomSlots; ++slot)
        zoom->addAction(m_actions.value(kCmdZoomSlot0 + slot));
    zoom->addSeparator();
    zoom->addAction(m_actions.value(kCmdZoomAll));
    m_contextMenu->addAction(m_actions.value(kCmdAutoAxis));
    m_contextMenu->addAction(m_actions.value(kCmdAutoScroll));
    if (m_doc) m_contextMenu->addAction(m_doc->Action(CTallonChart::kCmdPauseChart));
    m_contextMenu->addAction(m_actions.value(kCmdRefresh));
    m_contextMenu->addSeparator();
    m_contextMenu->addAction(m_actions.value(kCmdProperties));
    UpdateActions();
}

void CTallonView::UpdateActions() {
    m_actions.value(kCmdAutoScroll)->setChecked(m_autoScroll);
    m_actions.value(kCmdAutoAxis)
        ->setChecked(m_context.Settings().Get(CNumberedSettings::kBroadcastSelection) != 0);
    for (int slot = 0; slot < kZoomSlots; ++slot) {
        QAction* a = m_actions.value(kCmdZoomSlot0 + slot);
        const double span = ZoomSlotSpan(slot);
        a->setText(FormatSpan(span));
        a->setChecked(SameSpan(span, m_renderer.timeSpan));
        a->setEnabled(true);
    }
    m_actions.value(kCmdStopEvent)->setEnabled(AnyEventInProgress());
    if (m_doc) m_doc->UpdateActions();
}

QMenu* CTallonView::ContextMenu() {
    UpdateActions();
    return m_contextMenu;
}

void CTallonView::contextMenuEvent(QContextMenuEvent* event) {
    ContextMenu()->exec(event->globalPos());
    event->accept();
}

void CTallonView::focusInEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusInEvent(event);
    OnActivateView();
}

void CTallonView::SetDropHandlers(DropEffect effect, DropData drop) {
    m_dropEffect = std::move(effect);
    m_dropData = std::move(drop);
    const bool accept = m_dropEffect && m_dropData;
    setAcceptDrops(accept);
    viewport()->setAcceptDrops(accept);
}

void CTallonView::dragEnterEvent(QDragEnterEvent* event) {
    dragMoveEvent(event);
}

void CTallonView::dragMoveEvent(QDragMoveEvent* event) {
    const Qt::DropAction effect =
        m_dropEffect ? m_dropEffect(event->mimeData(), event->modifiers()) : Qt::IgnoreAction;
    if (effect == Qt::IgnoreAction || !(event->possibleActions() & effect)) {
        event->ignore();
        return;
    }
    event->setDropAction(effect);
    event->accept();
}

void CTallonView::dropEvent(QDropEvent* event) {
    if (!m_doc || !m_dropEffect || !m_dropData || !m_dropData(event->mimeData())) {
        event->ignore();
        return;
    }
    event->setDropAction(m_dropEffect(event->mimeData(), event->modifiers()));
    event->accept();
}

void CTallonView::OnActivateView() {
    if (!m_doc) return;
    m_doc->SetDocMenu(129);
    m_context.Settings().Set(CNumberedSettings::kLastViewBackground, m_doc->Settings().ColorBackGround);
}

void CTallonView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) DoubleClickAt(event->position().toPoint());
    event->accept();
}

void CTallonView::DoubleClickAt(const QPoint& pos) {
    if (!m_doc) return;
    const QRect plot = m_renderer.PlotRect();
    if (plot.contains(pos)) {
        const ChartRenderInput in = GatherRenderInput(*m_doc);
        QImage probe(1, 1, QImage::Format_RGB32);
        probe.setDotsPerMeterX(int(std::lround(logicalDpiX() / 0.0254)));
        probe.setDotsPerMeterY(int(std::lround(logicalDpiY() / 0.0254)));
        QPainter painter(&probe);
        const auto markers = m_renderer.LayoutMarkers(painter, in);
        // Markers are laid out in plot coordinates of the whole scroll range.
        const QPoint p(pos.x() - plot.left() + horizontalScrollBar()->value(), pos.y() - plot.top());
        for (const EventMarker& m : markers) {
            if (m.isStop && !(in.events[std::size_t(m.eventIndex)].stopTime > kStopMarkerEpoch)) continue;
            if (m.rect.contains(p)) {
                emit eventDoubleClicked(m.eventIndex);
                return;
            }
        }
    }
    const bool onAxis =
        m_renderer.ValueLabelColumn().contains(pos) || m_renderer.TimeLabelBand().contains(pos);
    emit propertiesRequested(onAxis ? 3 : 0);
}

// Document notifications.

void CTallonView::OnUpdate(int hint) {
    if (!m_doc) return;
    switch (hint) {
    case CTallonChart::kHintRefresh:
        viewport()->update();
        break;
    case CTallonChart::kHintSettings:
    case CTallonChart::kHintRelayout:
        if (hint == CTallonChart::kHintRelayout || m_propertiesOpen) CopyViewSettings();
        ResetLayout();
        break;
    case CTallonChart::kHintChartNotify:
        OnChartNotify();
        break;
    case kHintZoom:
        ResetLayout();
        break;
    case 15:
    case 16:
        if (m_context.channelBar.highlightedChart == m_doc->Identifier()) viewport()->update();
        break;
    case CTallonChart::kHintSelectedChannel:
        m_renderer.MarkLayoutDirty();
        viewport()->update();
        break;
    default:
        break;
    }
}

void CTallonView::OnChartNotify() {
    IZynChart* chart = m_doc->Chart();
    if (!chart) return;
    CComPtr<IZynChartPrivate> priv;
    if (FAILED(CComPtr<IZynChart>(chart).QueryInterface(&priv))) return;
    LONG value = 0;
    priv->GetAggregatePropChanges(&value);
    const auto mask = std::uint32_t(value);
    if (mask & 0x80000000u) m_doc->CheckPeerRemoved();
    // While a channel's property sheet is open its edits show in the channel bar at once.
    if ((mask & 0xce100) && m_context.Settings().Get(CNumberedSettings::kChannelSheetOpen) &&
        m_context.channelBar.shownChart == m_doc->Identifier())
        m_doc->RefreshChannelBar();
    if (mask & 0x40) m_lastDrawn = 0.0;

    if ((mask & 0x30000) && m_doc->SelectedChannel()) {
        m_renderer.MarkLayoutDirty();
        viewport()->update();
    } else if (mask & 0xe0b9052) {
        if (mask & 0x50) m_renderer.ResetScrollWidth();
        UpdateScrollRange();
        viewport()->update();
    } else if (mask & 0x46000) {
        viewport()->update();
    } else if ((mask & ~0x700000u) == 0x1000080u) {
        // New samples only: repaint the strip they occupy, data alone.
        const ChartRenderInput in = GatherRenderInput(*m_doc);
        const double start = m_renderer.StartTime(in);
        const double end = m_renderer.EndTime(in);
        if (m_renderer.TakeInvalidateAll()) {
            // The range grew: everything moves.
            UpdateScrollRange();
            viewport()->update();
        } else {
            if (m_lastDrawn == 0.0) m_lastDrawn = start;
            const double t = m_doc->LastSampleTime();
            LinearMap map;
            map.Setup(0, m_renderer.TotalScrollWidth(in), start, end);
            const QRect plot = m_renderer.PlotRect();
            const int shift = plot.left() - horizontalScrollBar()->value();
            const int x0 = map.Map(m_lastDrawn) + shift;
            const int x1 = map.Map(t) + shift;
            // Wide pens reach a few pixels past their end points.
            const QRect strip =
                QRect(QPoint(std::min(x0, x1) - 5, plot.top()), QPoint(std::max(x0, x1) + 5, plot.bottom()))
                    .intersected(plot);
            if (!strip.isEmpty()) {
                m_renderer.dataOnlyRect = strip;
                viewport()->update(strip);
                ++m_dataStrips;
                m_lastStrip = strip;
            }
            if (m_autoScroll && x1 >= plot.right()) Wheel(480, false);
        }
        m_lastDrawn = m_doc->LastSampleTime();
    }
}

// Printing.

int CTallonView::PageCount() {
    if (!m_doc) return 1;
    ChartRenderInput in = GatherRenderInput(*m_doc);
    in.windowStart = in.windowEnd = 0.0;
    const double start = m_renderer.StartTime(in), last = m_renderer.LastTime(in);
    if (!(last > start)) return 1;
    return std::max(1, int(std::ceil((last - start) / m_renderer.timeSpan - 1e-9)));
}

void CTallonView::PrintPages(QPrinter& printer, bool preview) {
    if (!m_doc) return;
    const ChartSettings& settings = m_doc->Settings();
    if (settings.chartPrintOrientation == 0)
        printer.setPageOrientation(QPageLayout::Landscape);
    else if (settings.chartPrintOrientation == 1)
        printer.setPageOrientation(QPageLayout::Portrait);
    const int pages = PageCount();
    int first = 1, last = pages;
    if (printer.printRange() == QPrinter::PageRange && printer.fromPage() > 0) {
        first = std::clamp(printer.fromPage(), 1, pages);
        last = std::clamp(printer.toPage() > 0 ? printer.toPage() : pages, first, pages);
    }

    m_doc->SetFreezeUpdates(preview);
    QPainter painter(&printer);
    if (painter.isActive()) {
        // The page's own copy of the settings: printer colours and fonts never reach the screen.
        ChartSettings paper;
        CopySettings(paper, settings);
        AdaptForPrinter(paper, printer);
        CChartRenderer r;
        r.timeSpan = m_renderer.timeSpan;
        r.timeMode = m_renderer.timeMode;
        r.relativeTimeFormat = m_renderer.relativeTimeFormat;
        r.absoluteTimeFormat = m_renderer.absoluteTimeFormat;
        r.printingPage = true;
        ChartRenderInput in = GatherRenderInput(*m_doc);
        in.windowStart = in.windowEnd = 0.0;
        const double start = r.StartTime(in);
        in.settings = &paper;
        const QRect page(0, 0, printer.width(), printer.height());
        for (int p = first; p <= last; ++p) {
            if (p > first) printer.newPage();
            const double offset = (p - 1) * r.timeSpan;
            in.windowStart = start + offset;
            in.windowEnd = start + offset + r.timeSpan;
            m_doc->SetWindowOverrides(in.windowStart, in.windowEnd);
            r.pageTimeOffset = offset;
            r.MarkLayoutDirty();
            r.ResetScrollWidth();
            r.Draw(painter, page, page, in);
        }
        painter.end();
        ReleaseFonts(paper);
    }
    m_doc->SetWindowOverrides(0.0, 0.0);
    m_doc->SetFreezeUpdates(false);
    m_renderer.MarkLayoutDirty();
}

void CTallonView::ApplyPrintSetup(QPrinter& printer) const {
    if (!m_context.printerName.isEmpty()) printer.setPrinterName(m_context.printerName);
    if (m_context.printPageLayout) printer.setPageLayout(*m_context.printPageLayout);
}

void CTallonView::FilePrint() {
    QPrinter printer(QPrinter::HighResolution);
    ApplyPrintSetup(printer);
    QPrintDialog dialog(&printer, this);
    dialog.setMinMax(1, PageCount());
    if (dialog.exec() == QDialog::Accepted) PrintPages(printer);
}

void CTallonView::FilePrintDirect() {
    QPrinter printer(QPrinter::HighResolution);
    ApplyPrintSetup(printer);
    PrintPages(printer);
}

void CTallonView::FilePrintPreview() {
    QPrinter printer(QPrinter::HighResolution);
    ApplyPrintSetup(printer);
    QPrintPreviewDialog dialog(&printer, this);
    connect(&dialog, &QPrintPreviewDialog::paintRequested, this,
            [this](QPrinter* p) { PrintPages(*p, true); });
    dialog.exec();
}
