#pragma once
// CTallonView: the chart page of a chart window. A horizontally scrolling view over the whole
// recorded time range, one plot width per zoom span, painted by CChartRenderer. It owns the chart
// interaction: zoom, auto-scroll, wheel and scroll bar, the context menu, events (add, stop,
// double-click), repaint of only the new strip on new samples, and printing one page per time
// window.
//
// How to use (the shell):
//   auto* view = new CTallonView(doc, ctx, childFrameTabs);   // doc: CTallonChart, ctx: CAppContext
//   connect(view, &CTallonView::statusMessage, statusPane, ...);   // (text, level)
//   connect(view, &CTallonView::propertiesRequested, ...);          // chart properties sheet page
//   connect(view, &CTallonView::eventDoubleClicked, ...);           // event properties dialog
//   menus/tool bars: view->Action(CTallonView::kCmdZoom) etc.; the context menu is the view's own.
//   before a menu shows: view->UpdateActions();  "Stop event" submenu: view->FillStopEventMenu(menu)
//   the tool bar's Stop Event button: view->Action(kCmdStopEvent) (enabled while an event runs).
//   on child-frame activation: view->OnActivateView();
//   printing: view->FilePrint(), FilePrintPreview(), FilePrintDirect(), or PrintPages(printer).
// The view follows its document through CTallonChart::updateViews; it never touches the main frame.
// With the pointer over the plot it shows the hover read-out (HoverReadout.h).

#include "HoverReadout.h"
#include "display/ChartRenderer.h"
#include "document/CTallonChart.h"

#include <QAbstractScrollArea>
#include <QHash>
#include <QPointer>

#include <functional>

class QMenu;
class QMimeData;
class QPrinter;

class CTallonView : public QAbstractScrollArea {
    Q_OBJECT
public:
    enum Command : int {
        kCmdProperties = 32771,
        kCmdClearChart = 32788,
        kCmdZoomSlot0 = 32789, // .. 32795: zoom slots -3 .. +3
        kCmdRefresh = 32796,
        kCmdZoom = 32797,
        kCmdZoomAll = 32798,
        kCmdAutoScroll = 32803,
        kCmdAutoAxis = 32806,
        kCmdAddEvent = 32808,
        kCmdStopEvent = 32810,
        kCmdStopEventFirst = 32812, // 32813 + (ordinal - 1) stops the event with that ordinal
        kCmdFilePrint = 57607,
        kCmdFilePrintDirect = 57608,
        kCmdFilePrintPreview = 57609,
    };
    static constexpr int kZoomSlots = 7;
    static constexpr int kHintZoom = 10;
    // The "Add Event" dialog: edits a name and a comment; false when cancelled. The program
    // installs its dialog; without one Add Event does nothing.
    using EventDialog = std::function<bool(QWidget* parent, QString& name, QString& comment)>;

    CTallonView(CTallonChart* doc, CAppContext& context, QWidget* parent = nullptr);
    ~CTallonView() override;

    CTallonChart* Document() const { return m_doc; }
    CChartRenderer& Renderer() { return m_renderer; }

    // Zoom.
    double TimeSpan() const { return m_renderer.timeSpan; }
    // 0 clock time, 1 elapsed time.
    int TimeMode() const { return m_renderer.timeMode; }
    void SetZoom(double span);
    void ZoomStep(bool wider);
    // The span zoom slot `slot` (0..6) offers now.
    double ZoomSlotSpan(int slot) const;
    void ZoomAll();

    // Auto-scroll and scrolling.
    bool AutoScroll() const { return m_autoScroll; }
    void ToggleAutoScroll();
    int ScrollPosition() const;
    int ScrollMaximum() const;
    // Scrolls by dx pixels (clamped to the range); `user` turns auto-scroll off.
    void ScrollBy(int dx, bool user);
    // A wheel turn: |delta| >= 120 scrolls client width / 10 per 120 (later times for positive).
    void Wheel(int delta, bool user);
    // What the user's wheel or touchpad turned: small deltas add up to whole 120-unit steps.
    void UserWheel(int delta);

    // Commands.
    void ClearChart();
    void AddEvent();
    // Stops the event with this 1-based ordinal among all events; false (and the error shown) when
    // it is gone or no longer running.
    bool StopEvent(int ordinal);
    void FillStopEventMenu(QMenu* menu);
    bool AnyEventInProgress() const;
    void ToggleAutoAxis();
    void Refresh();
    QAction* Action(int id) const { return m_actions.value(id); }
    void UpdateActions();
    // The context menu, its actions updated; the caller shows it.
    QMenu* ContextMenu();

    // The reaction to a document update hint.
    void OnUpdate(int hint);
    // Set while this view's chart properties sheet runs: settings hints then re-copy the view's
    // span, time mode and formats and auto-scroll from the record.
    void SetPropertiesOpen(bool open) { m_propertiesOpen = open; }
    bool PropertiesOpen() const { return m_propertiesOpen; }
    // Puts back a span and auto-scroll state the view had (a properties sheet cancelled after it
    // applied changes), without the zoom's status text or beep.
    void SetViewState(double span, bool autoScroll);
    void OnActivateView();
    // Double-click at a viewport point: an event marker, else the properties sheet.
    void DoubleClickAt(const QPoint& pos);

    // Printing.
    int PageCount();
    void PrintPages(QPrinter& printer, bool preview = false);
    // The printer and page chosen in Print Setup, when the user chose them.
    void ApplyPrintSetup(QPrinter& printer) const;
    void FilePrint();
    void FilePrintDirect();
    void FilePrintPreview();

    EventDialog eventDialog;
    // Drops of data objects (a copied channel, CSV text): what a drag over the chart may do, and
    // the drop itself, true when anything was taken. The program installs both; without them the
    // chart takes no drops.
    using DropEffect = std::function<Qt::DropAction(const QMimeData* data, Qt::KeyboardModifiers modifiers)>;
    using DropData = std::function<bool(const QMimeData* data)>;
    void SetDropHandlers(DropEffect effect, DropData drop);
    // Paints of the viewport so far (tests count them).
    int PaintCount() const { return m_paintCount; }
    // Data-only strips requested by new samples so far.
    int DataStripCount() const { return m_dataStrips; }
    QRect LastDataStrip() const { return m_lastStrip; }

signals:
    void statusMessage(const QString& text, int level);
    // Chart properties sheet at a page (0 display, 3 axis).
    void propertiesRequested(int page);
    // The event with this index in chart order was double-clicked.
    void eventDoubleClicked(int eventIndex);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void wheelEvent(QWheelEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void CreateActions();
    void InitialUpdate();
    void CopyViewSettings();
    void ResetLayout();
    void UpdateScrollRange();
    void OnChartNotify();
    void InvalidateWatermark();
    void SetScrolling(bool scrolling);
    void Status(const QString& text, int level) { emit statusMessage(text, level); }
    int MajorTickMargin() const;
    // The hover read-out at a viewport point: the cursor line and the tip, or neither outside
    // the plot.
    void UpdateHover(const QPoint& pos);
    void HideHover();

    QPointer<CTallonChart> m_doc;
    CAppContext& m_context;
    CChartRenderer m_renderer;
    bool m_autoScroll = true;
    double m_lastDrawn = 0.0;
    bool m_propertiesOpen = false;
    bool m_programmaticScroll = false;
    QHash<int, QAction*> m_actions;
    QMenu* m_contextMenu = nullptr;
    int m_paintCount = 0;
    int m_dataStrips = 0;
    QRect m_lastStrip;
    int m_wheelRemainder = 0;
    CHoverCursor* m_hoverCursor = nullptr;
    QPoint m_hoverPos{-1, -1};
    DropEffect m_dropEffect;
    DropData m_dropData;
};
