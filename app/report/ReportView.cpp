#include "ReportView.h"

#include "ReportBuilder.h"
#include "ReportPrint.h"
#include "ReportTemplate.h"
#include "ReportText.h"
#include "display/ChartColours.h"
#include "document/AppContext.h"
#include "document/CommandActions.h"
#include "document/ZynMessageBox.h"
#include "resources/ZynFormat.h"
#include "resources/ZynMenus.h"
#include "resources/ZynStrings.h"
#include "xml/CXmlNode.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QMenu>
#include <QMimeData>
#include <QPaintEvent>
#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QScrollBar>

namespace {

// "Report has been placed in to the Clipboard."
constexpr int kCopiedText = 50127;
// "&Copy\tCtrl+C"
constexpr int kCopyMenuText = 50115;
constexpr int kReportMenu = 150;
constexpr int kContextMenu = 164;

} // namespace

bool CReportView::DisabledOnReport(int command) {
    switch (command) {
    case ZynCmd::ClearChart:
    case ZynCmd::SampleData:
    case ZynCmd::Pause:
    case ZynCmd::AddChannel:
    case ZynCmd::EditCut:
    case ZynCmd::EditPaste:
        return true;
    default:
        return false;
    }
}

CReportView::CReportView(CTallonChart* doc, CAppContext& context, QWidget* parent)
    : QAbstractScrollArea(parent), loadTemplate(&LoadReportTemplate), m_doc(doc), m_context(context) {
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFrameShape(QFrame::NoFrame);
    setFocusPolicy(Qt::StrongFocus);
    // The paint handler fills what it repaints with the report's background.
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setAutoFillBackground(false);
    if (m_doc) connect(m_doc, &CTallonChart::updateViews, this, &CReportView::OnUpdate);
    CreateActions();
    InitialUpdate();
}

CReportView::~CReportView() = default;

void CReportView::InitialUpdate() {
    m_shades = ReportShades::FromRegistry();
    BuildReport();
}

void CReportView::BuildReport() {
    ++m_builds;
    m_layoutDirty = true;
    m_pageCount = 0;
    if (!m_doc) {
        m_root.Clear();
        return;
    }
    ReportInputs in;
    in.chart = m_doc->Chart();
    in.settings = &m_doc->Settings();
    in.documentCreated = m_doc->Created();
    in.statistics = &m_statistics;
    const std::unique_ptr<CXmlNode> templ = loadTemplate ? loadTemplate() : nullptr;
    if (::BuildReport(m_root, m_fields, in, templ.get()) == ReportBuildResult::NoTemplate) {
        const QString text = LoadZynString(kReportTemplateFailedText);
        Status(text, 2);
        ZynMessageBox(text);
    }
}

void CReportView::Rebuild() {
    BuildReport();
    viewport()->update();
}

void CReportView::Refresh() {
    Rebuild();
}

void CReportView::OnUpdate(int hint) {
    if (!m_doc) return;
    switch (hint) {
    case CTallonChart::kHintRefresh:
        viewport()->update();
        break;
    case CTallonChart::kHintSettings:
        if (m_propertiesOpen) Rebuild();
        break;
    case CTallonChart::kHintRelayout:
        Rebuild();
        break;
    case CTallonChart::kHintChartNotify: {
        IZynChart* chart = m_doc->Chart();
        CComPtr<IZynChartPrivate> priv;
        if (!chart || FAILED(CComPtr<IZynChart>(chart).QueryInterface(&priv))) break;
        LONG value = 0;
        priv->GetAggregatePropChanges(&value);
        const auto mask = std::uint32_t(value);
        if (mask & 0x80000000u) m_doc->CheckPeerRemoved();
        if (mask & kRebuildChanges) Rebuild();
        break;
    }
    default:
        break;
    }
}

void CReportView::OnActivateView() {
    if (m_doc) m_doc->SetDocMenu(kReportMenu);
}

void CReportView::focusInEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusInEvent(event);
    OnActivateView();
}

// Drawing.

void CReportView::EnsureLayout() {
    if (!m_doc) return;
    const QRect client = viewport()->rect();
    if (!m_layoutDirty && m_layout.sections.size() > 0 && m_layoutWidth == client.width()) return;
    QImage probe(1, 1, QImage::Format_RGB32);
    probe.setDotsPerMeterX(int(logicalDpiX() / 0.0254 + 0.5));
    probe.setDotsPerMeterY(int(logicalDpiY() / 0.0254 + 0.5));
    QPainter painter(&probe);
    const ReportStyle style = ReportStyle::FromSettings(m_doc->Settings(), logicalDpiY(), m_shades);
    m_layout = LayoutReport(painter, QRect(0, 0, client.width(), client.height()), m_root, style);
    m_layoutWidth = client.width();
    m_layoutDirty = false;
    UpdateScrollRange();
}

void CReportView::UpdateScrollRange() {
    QScrollBar* bar = verticalScrollBar();
    const int page = std::max(1, viewport()->height());
    bar->setRange(0, std::max(0, m_layout.height - page));
    bar->setPageStep(page);
    bar->setSingleStep(std::max(1, fontMetrics().height()));
}

void CReportView::paintEvent(QPaintEvent* event) {
    QPainter painter(viewport());
    const COLORREF background = m_doc ? m_doc->Settings().reportBackgroundColour : 0xFFFFFF;
    painter.fillRect(event->rect(), ToQColor(background));
    if (!m_doc) return;
    EnsureLayout();
    const ReportStyle style = ReportStyle::FromSettings(m_doc->Settings(), logicalDpiY(), m_shades);
    const int scroll = verticalScrollBar()->value();
    painter.translate(0, -scroll);
    DrawReport(painter, m_layout, style, event->rect().translated(0, scroll));
}

void CReportView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    m_layoutDirty = true;
    EnsureLayout();
}

void CReportView::scrollContentsBy(int, int dy) {
    if (dy != 0) viewport()->scroll(0, dy);
}

// Commands.

void CReportView::CreateActions() {
    auto add = [this](int id, const QString& text, auto&& handler) {
        QAction* a = MakeCommandAction(this, m_actions, id, text);
        connect(a, &QAction::triggered, this, handler);
        return a;
    };
    add(kCmdRefreshData, tr("Refresh Data"), [this] { Refresh(); });
    add(kCmdReportProperties, tr("Properties..."), [this] { emit propertiesRequested(); });
    add(kCmdCopy, tr("&Copy"), [this] { CopyReport(); });
    add(kCmdFilePrint, tr("&Print Report..."), [this] { FilePrint(); });
    add(kCmdFilePrintDirect, tr("Print &Direct"), [this] { FilePrintDirect(); });
    add(kCmdFilePrintPreview, tr("Print Pre&view"), [this] { FilePrintPreview(); });

    m_contextMenu = new QMenu(this);
    for (const ZynMenuItem& item : LoadZynMenu(kContextMenu)) {
        if (item.IsSeparator())
            m_contextMenu->addSeparator();
        else if (QAction* a = m_actions.value(item.command))
            m_contextMenu->addAction(a);
    }
    UpdateActions();
}

void CReportView::UpdateActions() {
    for (QAction* a : std::as_const(m_actions))
        a->setEnabled(true);
    // "&Copy (Report)\tCtrl+C": the copy command names what it copies.
    const QStringList parts = LoadZynString(kCopyMenuText).split(u'\t');
    if (parts.size() >= 2 && !parts[0].isEmpty() && !parts[1].isEmpty())
        m_actions.value(kCmdCopy)->setText(
            ZynFormatText(QStringLiteral("%ls (%ls)\t%ls"), {parts[0], tr("Report"), parts[1]}));
}

QMenu* CReportView::ContextMenu() {
    UpdateActions();
    return m_contextMenu;
}

void CReportView::contextMenuEvent(QContextMenuEvent* event) {
    ContextMenu()->exec(event->globalPos());
    event->accept();
}

void CReportView::mouseDoubleClickEvent(QMouseEvent* event) {
    emit propertiesRequested();
    event->accept();
}

void CReportView::CopyReport() {
    auto* mime = new QMimeData;
    mime->setText(ReportText(m_root));
    QGuiApplication::clipboard()->setMimeData(mime);
    Status(LoadZynString(kCopiedText), 0);
}

// Printing.

int CReportView::PrintPages(QPagedPaintDevice& device, bool preview) {
    if (!m_doc) return 0;
    ReportPrintRange range;
    if (auto* printer = dynamic_cast<QPrinter*>(&device);
        printer && printer->printRange() == QPrinter::PageRange && printer->fromPage() > 0) {
        range.first = printer->fromPage();
        range.last = printer->toPage();
    }
    // A preview stays frozen until its window closes, so that its pages keep showing one report.
    m_doc->SetFreezeUpdates(preview);
    const int printed = PrintReport(device, m_root, m_doc->Settings(), m_shades, range, &m_pageCount);
    if (!preview) m_doc->SetFreezeUpdates(false);
    return printed;
}

void CReportView::FilePrint() {
    if (!m_doc) return;
    QPrinter printer(QPrinter::HighResolution);
    if (m_pageCount < 1) m_pageCount = PaginateReportFor(printer, m_root, m_doc->Settings(), m_shades);
    QPrintDialog dialog(&printer, this);
    dialog.setMinMax(1, m_pageCount >= 1 ? m_pageCount : kUnpaginatedPages);
    if (dialog.exec() == QDialog::Accepted) PrintPages(printer);
}

void CReportView::FilePrintDirect() {
    QPrinter printer(QPrinter::HighResolution);
    PrintPages(printer);
}

void CReportView::FilePrintPreview() {
    m_pageCount = 0;
    QPrinter printer(QPrinter::HighResolution);
    QPrintPreviewDialog dialog(&printer, this);
    connect(&dialog, &QPrintPreviewDialog::paintRequested, this,
            [this](QPrinter* p) { PrintPages(*p, true); });
    dialog.exec();
    if (m_doc) m_doc->SetFreezeUpdates(false);
}
