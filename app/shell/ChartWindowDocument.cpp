#include "ChartWindowDocument.h"

#include "com/ccombstr.h"
#include "display/ChartFonts.h"
#include "document/AppContext.h"
#include "document/CTallonChart.h"
#include "document/ZynMessageBox.h"
#include "exchange/ChartFile.h"
#include "exchange/CsvExport.h"
#include "exchange/CsvImport.h"
#include "options/ChartPropertySheet.h"
#include "options/EventDialog.h"
#include "resources/ZynMenus.h"
#include "resources/ZynStrings.h"
#include "view/ChartView.h"

#include <QAction>
#include <QGuiApplication>
#include <QPalette>
#include <QPrinter>
#include <QPrinterInfo>

namespace zyn::shell {

namespace {

COLORREF SystemWindowColour() {
    const QColor c = QGuiApplication::palette().color(QPalette::Base);
    return COLORREF(c.red()) | (COLORREF(c.green()) << 8) | (COLORREF(c.blue()) << 16);
}

} // namespace

bool IsCsvPath(const QString& path) {
    return path.section(u'.', -1).compare(QLatin1String("csv"), Qt::CaseInsensitive) == 0 &&
           path.contains(u'.');
}

bool LoadChartFile(CTallonChart& doc, const QString& path) {
    using namespace zyn::chartfile;
    std::vector<std::uint8_t> bytes;
    if (!ReadWholeFile(path.toStdString(), bytes)) return false;
    ChartFileParts parts;
    if (ParseChartFile(bytes, parts) != ChartFileError::None) return false;
    CComPtr<IZynApp> app = doc.Context().App();
    CComPtr<IZynChart> loaded = LoadChartBytes(app, parts.chart);
    if (!loaded) return false;
    // The record is read over a copy: a record that does not read leaves the document's as it was.
    ChartSettings settings;
    CopySettings(settings, doc.Settings());
    if (parts.hasSettings) {
        if (!ReadChartSettings(parts.settings.data(), parts.settings.size(), settings)) {
            loaded->Detach();
            return false;
        }
        FinishChartSettings(settings, true, SystemWindowColour());
    }
    CopySettings(doc.Settings(), settings);
    doc.AttachChart(loaded);
    doc.SetModifiedFlag(false);
    doc.UpdateAllViews(CTallonChart::kHintRelayout);
    return true;
}

bool SaveChartFile(CTallonChart& doc, const QString& path) {
    using namespace zyn::chartfile;
    IZynChart* chart = doc.Chart();
    if (!chart) return false;
    const std::u16string name = ChartNameFromPath(path.toStdString());
    if (!name.empty()) chart->put_Name(CComBSTR(name));
    std::vector<std::uint8_t> chartBytes;
    if (!SaveChartBytes(chart, chartBytes)) return false;
    RefreshStoredFonts(doc.Settings());
    const ChartSettingsBytes record = WriteChartSettings(doc.Settings());
    return WriteFileAtomically(path.toStdString(), ComposeChartFile(chartBytes, record));
}

} // namespace zyn::shell

CChartWindowDocument::CChartWindowDocument(CAppContext& context, QObject* parent)
    : CTallonAppDocument(parent), m_context(context), m_doc(new CTallonChart(context, this)) {
    connect(m_doc, &CTallonChart::titleChanged, this, &CTallonAppDocument::TitleChanged);
    connect(m_doc, &CTallonChart::modifiedChanged, this, &CTallonAppDocument::ModifiedChanged);
    connect(m_doc, &CTallonChart::statusMessage, this, &CTallonAppDocument::StatusMessage);
    connect(m_doc, &CTallonChart::chartChanged, this, &CTallonAppDocument::ChartChanged);
    connect(m_doc, &CTallonChart::showInChannelBar, this, &CTallonAppDocument::ShowInChannelBar);
    connect(m_doc, &CTallonChart::deleteChannelRequested, this, &CTallonAppDocument::DeleteChannelRequested);
}

// The views may outlive the document by a moment (their frames go with deleteLater); they hold
// it through a guarded pointer.
CChartWindowDocument::~CChartWindowDocument() = default;

CTallonView* CChartWindowDocument::ActiveView() const {
    if (m_active) return m_active;
    for (const auto& v : m_views)
        if (v) return v;
    return nullptr;
}

IZynChart* CChartWindowDocument::Chart() const {
    return m_doc->Chart();
}
ChartSettings& CChartWindowDocument::Settings() {
    return m_doc->Settings();
}
QString CChartWindowDocument::Title() const {
    return m_doc->Title();
}
bool CChartWindowDocument::IsModified() const {
    return m_doc->IsModified();
}
void CChartWindowDocument::SetModifiedFlag(bool modified) {
    m_doc->SetModifiedFlag(modified);
}

bool CChartWindowDocument::OnNewDocument() {
    m_doc->OnNewDocument();
    return m_doc->Chart() != nullptr;
}

bool CChartWindowDocument::OnOpenDocument(const QString& path) {
    bool ok = false;
    if (zyn::shell::IsCsvPath(path)) {
        ok = m_doc->Chart() && zyn::csv::LoadCsv(path.toStdString(), m_doc->Chart());
        if (ok) {
            m_doc->OnChartNotify();
            m_doc->OnNewDocument(); // the chart took the file's name
        }
    } else {
        ok = zyn::shell::LoadChartFile(*m_doc, path);
    }
    if (!ok) {
        ZynMessageBox(LoadZynString(zyn::chartfile::kOpenFailedMessage));
        return false;
    }
    m_path = path;
    m_doc->SetModifiedFlag(false);
    return true;
}

bool CChartWindowDocument::OnSaveDocument(const QString& path) {
    const bool ok = zyn::shell::IsCsvPath(path) ? zyn::csv::SaveCsv(path.toStdString(), m_doc->Chart())
                                                : zyn::shell::SaveChartFile(*m_doc, path);
    if (!ok) {
        ZynMessageBox(LoadZynString(zyn::chartfile::kSaveFailedMessage));
        return false;
    }
    m_path = path;
    m_doc->SetModifiedFlag(false);
    // The chart was renamed after the file.
    m_doc->OnNewDocument();
    return true;
}

QWidget* CChartWindowDocument::CreateView(int tab, QWidget* parent) {
    if (tab != 0) {
        // The report page joins with the report view.
        auto* page = new QWidget(parent);
        page->setObjectName(QStringLiteral("ReportPage"));
        page->setAutoFillBackground(true);
        QPalette pal = page->palette();
        pal.setColor(QPalette::Window, Qt::white);
        page->setPalette(pal);
        return page;
    }
    auto* view = new CTallonView(m_doc, m_context, parent);
    view->setObjectName(QStringLiteral("ChartPage"));
    connect(view, &CTallonView::statusMessage, this, &CTallonAppDocument::StatusMessage);
    view->eventDialog = &RunAddEventDialog;
    connect(view, &CTallonView::propertiesRequested, this,
            [this, view](int page) { RunChartProperties(*m_doc, view, page, m_context.mainWindow); });
    connect(view, &CTallonView::eventDoubleClicked, this,
            [this](int index) { EditChartEvent(*m_doc, index, m_context.mainWindow); });
    m_views.emplace_back(view);
    if (!m_active) m_active = view;
    return view;
}

void CChartWindowDocument::ActivateView(QWidget* widget) {
    auto* view = qobject_cast<CTallonView*>(widget);
    if (!view) return;
    m_active = view;
    view->OnActivateView();
}

void CChartWindowDocument::UpdateAllViews(int hint) {
    m_doc->UpdateAllViews(hint);
}
void CChartWindowDocument::SyncSelectedChannel() {
    m_doc->SyncSelectedChannel();
}
void CChartWindowDocument::ApplySettings(bool all) {
    m_doc->ApplySettings(all);
}

QAction* CChartWindowDocument::CommandAction(int command) const {
    if (CTallonView* view = ActiveView())
        if (QAction* a = view->Action(command)) return a;
    return m_doc->Action(command);
}

bool CChartWindowDocument::OnCommand(int command) {
    QAction* action = CommandAction(command);
    if (!action) return false;
    if (!action->isEnabled()) return true;
    action->trigger();
    return true;
}

void CChartWindowDocument::UpdateCommandStates() {
    // The view's update handlers run the document's as well.
    if (CTallonView* view = ActiveView())
        view->UpdateActions();
    else
        m_doc->UpdateActions();
}

bool CChartWindowDocument::OnUpdateCommand(int command, QAction* action) {
    const QAction* source = CommandAction(command);
    if (!source) return false;
    action->setEnabled(source->isEnabled());
    if (source->isCheckable()) {
        action->setCheckable(true);
        action->setChecked(source->isChecked());
    }
    // "&Delete (channel)\tDel" names the channel it deletes; the zoom slots name their spans.
    if (command == ZynCmd::DeleteChannel || (command >= ZynCmd::Zoom1 && command <= ZynCmd::Zoom7))
        action->setText(source->text());
    return true;
}

bool CChartWindowDocument::PrintDirect(const QString& printerName) {
    CTallonView* view = ActiveView();
    if (!view) return false;
    const QPrinterInfo info =
        printerName.isEmpty() ? QPrinterInfo::defaultPrinter() : QPrinterInfo::printerInfo(printerName);
    if (info.isNull()) return false;
    QPrinter printer(info, QPrinter::HighResolution);
    if (m_context.printPageLayout) printer.setPageLayout(*m_context.printPageLayout);
    view->PrintPages(printer);
    return true;
}

void CChartWindowDocument::FillStopEventMenu(QMenu* menu) {
    if (CTallonView* view = ActiveView()) view->FillStopEventMenu(menu);
}
