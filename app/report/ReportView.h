#pragma once
// CReportView: the report page of a chart window. A vertically scrolling view of the chart's
// report: built from the template when the page opens, rebuilt on Refresh, on settings changes and
// when a channel's visibility changes or an event is stopped or removed (new samples alone do not
// rebuild it), printed page by page and copied as tab-indented text.
//
// How to use (the shell):
//   auto* view = new CReportView(doc, ctx, parent);              // doc: CTallonChart, ctx: CAppContext
//   connect(view, &CReportView::statusMessage, statusPane, ...);     // (text, level)
//   connect(view, &CReportView::propertiesRequested, ...);           // the "Report Properties" sheet;
//   while it runs: view->SetPropertiesOpen(true), then false       // hint 1 rebuilds only meanwhile
//   menus: view->Action(id) for 32787, 32802, 57634, 57607..57609; before a menu shows:
//   view->UpdateActions(); on child-frame activation: view->OnActivateView().
// The view follows its document through CTallonChart::updateViews; it never touches the main frame.

#include "EventStatistics.h"
#include "ReportFieldMap.h"
#include "ReportLayout.h"
#include "ReportTree.h"
#include "document/CTallonChart.h"

#include <QAbstractScrollArea>
#include <QHash>
#include <QPointer>

#include <functional>
#include <memory>

class CXmlNode;
class QMenu;
class QPagedPaintDevice;
class QPrinter;

class CReportView : public QAbstractScrollArea {
    Q_OBJECT
public:
    enum Command : int {
        kCmdRefreshData = 32787,
        kCmdReportProperties = 32802,
        kCmdCopy = 57634,
        kCmdFilePrint = 57607,
        kCmdFilePrintDirect = 57608,
        kCmdFilePrintPreview = 57609,
    };
    // Commands of the chart that make no sense on the report page: clear chart, sample data,
    // pause, add channel, cut, paste.
    static bool DisabledOnReport(int command);
    // The aggregate chart changes that rebuild the report (channel visibility, events stopped or
    // removed).
    static constexpr std::uint32_t kRebuildChanges = 0xc0c0000;
    // Pages a print dialog offers while the report has not been paginated.
    static constexpr int kUnpaginatedPages = 6;

    CReportView(CTallonChart* doc, CAppContext& context, QWidget* parent = nullptr);
    ~CReportView() override;

    CTallonChart* Document() const { return m_doc; }
    const CReportSection& Report() const { return m_root; }
    CReportSection& Report() { return m_root; }
    ReportShades Shades() const { return m_shades; }

    // Clears the tree and builds it anew; a missing template shows its message.
    void BuildReport();
    // Refresh Data: rebuild and repaint.
    void Refresh();
    // Copy: the report as text on the clipboard, with a status message.
    void CopyReport();
    void OnUpdate(int hint);
    void OnActivateView();
    void SetPropertiesOpen(bool open) { m_propertiesOpen = open; }
    bool PropertiesOpen() const { return m_propertiesOpen; }

    QAction* Action(int id) const { return m_actions.value(id); }
    QList<int> CommandIds() const { return m_actions.keys(); }
    void UpdateActions();
    // The context menu, its actions updated; the caller shows it.
    QMenu* ContextMenu();

    // Printing.
    int PageCount() const { return m_pageCount; }
    // Prints every page (or the printer's page range) on `device`.
    int PrintPages(QPagedPaintDevice& device, bool preview = false);
    void FilePrint();
    void FilePrintDirect();
    void FilePrintPreview();

    // Where the template comes from (the built-in one; tests give others).
    std::function<std::unique_ptr<CXmlNode>()> loadTemplate;

    // The last layout painted (tests).
    const ReportLayout& Layout() const { return m_layout; }
    int ContentHeight() const { return m_layout.height; }
    int Builds() const { return m_builds; }

signals:
    void statusMessage(const QString& text, int level);
    void propertiesRequested();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;

private:
    void CreateActions();
    void InitialUpdate();
    void Rebuild();
    void EnsureLayout();
    void UpdateScrollRange();
    void Status(const QString& text, int level) { emit statusMessage(text, level); }

    QPointer<CTallonChart> m_doc;
    CAppContext& m_context;
    CReportSection m_root;
    CReportFieldMap m_fields;
    CEventStatistics m_statistics;
    ReportShades m_shades;
    ReportLayout m_layout;
    bool m_layoutDirty = true;
    int m_layoutWidth = -1;
    int m_pageCount = 0;
    bool m_propertiesOpen = false;
    int m_builds = 0;
    QHash<int, QAction*> m_actions;
    QMenu* m_contextMenu = nullptr;
};
