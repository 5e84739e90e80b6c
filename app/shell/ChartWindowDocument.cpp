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
#include "report/ReportView.h"
#include "resources/ZynMenus.h"
#include "resources/ZynStrings.h"
#include "view/ChartView.h"

#include <QAction>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPalette>
#include <QPointer>
#include <QPrinter>
#include <QPrinterInfo>

namespace zyn::shell {

namespace {

COLORREF SystemWindowColour() {
    const QColor c = QGuiApplication::palette().color(QPalette::Base);
    return COLORREF(c.red()) | (COLORREF(c.green()) << 8) | (COLORREF(c.blue()) << 16);
}

bool Refuse(QString* why, const QString& reason) {
    if (why) *why = reason;
    return false;
}

} // namespace

bool IsCsvPath(const QString& path) {
    return path.section(u'.', -1).compare(QLatin1String("csv"), Qt::CaseInsensitive) == 0 &&
           path.contains(u'.');
}

QString WhyUnreadable(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists()) return QStringLiteral("the file does not exist");
    if (!info.isFile()) return QStringLiteral("it is not a file");
    if (std::uint64_t(info.size()) > zyn::chartfile::kMaxFileBytes)
        return QString::fromUtf8(DescribeChartFileError(zyn::chartfile::ChartFileError::TooLarge));
    if (!info.isReadable()) return QStringLiteral("you have no permission to read it");
    return QString::fromUtf8(DescribeChartFileError(zyn::chartfile::ChartFileError::Unreadable));
}

bool LoadChartFile(CTallonChart& doc, const QString& path, QString* why) {
    using namespace zyn::chartfile;
    std::vector<std::uint8_t> bytes;
    if (!ReadWholeFile(path.toStdString(), bytes)) return Refuse(why, WhyUnreadable(path));
    ChartFileParts parts;
    if (const ChartFileError error = ParseChartFile(bytes, parts); error != ChartFileError::None)
        return Refuse(why, QString::fromUtf8(DescribeChartFileError(error)));
    CComPtr<IZynApp> app = doc.Context().App();
    if (!app) return Refuse(why, QStringLiteral("the chart objects cannot be made"));
    CComPtr<IZynChart> loaded = LoadChartBytes(app, parts.chart);
    if (!loaded) return Refuse(why, QStringLiteral("the chart data in it is damaged"));
    // The record is read over a copy: a record that does not read leaves the document's as it was.
    ChartSettings settings;
    CopySettings(settings, doc.Settings());
    if (parts.hasSettings) {
        if (!ReadChartSettings(parts.settings.data(), parts.settings.size(), settings)) {
            loaded->Detach();
            return Refuse(why, QString::fromUtf8(DescribeChartFileError(ChartFileError::SettingsTooLong)));
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

CReportView* CChartWindowDocument::ActiveReportView() const {
    return m_activeReport;
}

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

// The message box keeps its fixed text; the status pane (and, at start-up, standard error) says
// which file failed and why.
void CChartWindowDocument::Fail(const QString& what, const QString& why) {
    m_lastError = what + QStringLiteral(": ") + why + u'.';
    emit StatusMessage(m_lastError, 2);
}

bool CChartWindowDocument::OnOpenDocument(const QString& path) {
    bool ok = false;
    QString why;
    if (zyn::shell::IsCsvPath(path)) {
        ok = m_doc->Chart() && zyn::csv::LoadCsv(path.toStdString(), m_doc->Chart());
        if (ok) {
            m_doc->OnChartNotify();
            m_doc->OnNewDocument(); // the chart took the file's name
        } else {
            why = QFileInfo(path).isReadable() ? QStringLiteral("it holds no data that can be read as CSV")
                                               : zyn::shell::WhyUnreadable(path);
        }
    } else {
        ok = zyn::shell::LoadChartFile(*m_doc, path, &why);
    }
    if (!ok) {
        Fail(QStringLiteral("Cannot open %1").arg(path), why);
        ReportFailure(zyn::chartfile::kOpenFailedMessage);
        return false;
    }
    m_path = path;
    m_doc->SetModifiedFlag(false);
    return true;
}

void CChartWindowDocument::RecordViewSettings() {
    CTallonView* view = ActiveView();
    if (!view) return;
    ChartSettings& settings = m_doc->Settings();
    if (view->TimeSpan() > 0) settings.viewSpan = view->TimeSpan();
    settings.timeMode = std::uint32_t(view->TimeMode());
}

bool CChartWindowDocument::OnSaveDocument(const QString& path) {
    const bool csv = zyn::shell::IsCsvPath(path);
    if (!csv) RecordViewSettings();
    const bool ok =
        csv ? zyn::csv::SaveCsv(path.toStdString(), m_doc->Chart()) : zyn::shell::SaveChartFile(*m_doc, path);
    if (!ok) {
        Fail(QStringLiteral("Cannot save %1").arg(path),
             csv ? QStringLiteral("a chart without samples has no CSV, or the folder cannot be written")
                 : QStringLiteral("the file cannot be written there (check the folder and the free space)"));
        ReportFailure(zyn::chartfile::kSaveFailedMessage);
        return false;
    }
    m_path = path;
    m_doc->SetModifiedFlag(false);
    // The chart was renamed after the file.
    m_doc->OnNewDocument();
    return true;
}

void CChartWindowDocument::ReportFailure(int textId) {
    if (m_interactive) ZynMessageBox(LoadZynString(textId));
}

void CChartWindowDocument::Repaint() {
    for (const auto& view : m_views)
        if (view) view->update();
}

QWidget* CChartWindowDocument::CreateView(int tab, QWidget* parent) {
    if (tab != 0) {
        auto* report = new CReportView(m_doc, m_context, parent);
        report->setObjectName(QStringLiteral("ReportPage"));
        connect(report, &CReportView::statusMessage, this, &CTallonAppDocument::StatusMessage);
        // The page that asked rebuilds on every change the sheet applies, until it closes.
        connect(report, &CReportView::propertiesRequested, this,
                [this, page = QPointer<CReportView>(report)] {
                    RunReportProperties(
                        *m_doc,
                        [page](bool open) {
                            if (page) page->SetPropertiesOpen(open);
                        },
                        m_context.mainWindow);
                });
        return report;
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
    if (auto* report = qobject_cast<CReportView*>(widget)) {
        m_activeReport = report;
        report->OnActivateView();
        return;
    }
    auto* view = qobject_cast<CTallonView*>(widget);
    if (!view) return;
    m_activeReport = nullptr;
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
    if (CReportView* report = ActiveReportView()) {
        if (CReportView::DisabledOnReport(command)) return nullptr;
        if (QAction* a = report->Action(command)) return a;
        // The chart page's own commands do not reach past the report page.
        return ActiveView() && ActiveView()->Action(command) ? nullptr : m_doc->Action(command);
    }
    if (CTallonView* view = ActiveView())
        if (QAction* a = view->Action(command)) return a;
    return m_doc->Action(command);
}

bool CChartWindowDocument::OnCommand(int command) {
    if (ActiveReportView() && CReportView::DisabledOnReport(command)) return true;
    QAction* action = CommandAction(command);
    if (!action) return false;
    if (!action->isEnabled()) return true;
    action->trigger();
    return true;
}

void CChartWindowDocument::UpdateCommandStates() {
    // The view's update handlers run the document's as well.
    if (CReportView* report = ActiveReportView()) {
        report->UpdateActions();
        m_doc->UpdateActions();
    } else if (CTallonView* view = ActiveView()) {
        view->UpdateActions();
    } else {
        m_doc->UpdateActions();
    }
}

bool CChartWindowDocument::OnUpdateCommand(int command, QAction* action) {
    const QAction* source = CommandAction(command);
    if (!source) return false;
    action->setEnabled(source->isEnabled());
    if (source->isCheckable()) {
        action->setCheckable(true);
        action->setChecked(source->isChecked());
    }
    // "&Delete (channel)\tDel" names the channel it deletes, "&Copy (Report)\tCtrl+C" what it
    // copies; the zoom slots name their spans.
    if (command == ZynCmd::DeleteChannel || command == ZynCmd::EditCopy ||
        (command >= ZynCmd::Zoom1 && command <= ZynCmd::Zoom7))
        action->setText(source->text());
    return true;
}

void CChartWindowDocument::SetReportPropertiesOpen(bool open) {
    if (CReportView* report = ActiveReportView()) report->SetPropertiesOpen(open);
}

bool CChartWindowDocument::PrintDirect(const QString& printerName) {
    CTallonView* view = ActiveView();
    if (!view) return false;
    const QPrinterInfo info =
        printerName.isEmpty() ? QPrinterInfo::defaultPrinter() : QPrinterInfo::printerInfo(printerName);
    if (info.isNull()) {
        Fail(QStringLiteral("Cannot print %1").arg(m_path.isEmpty() ? Title() : m_path),
             printerName.isEmpty() ? QStringLiteral("no printer is set up")
                                   : QStringLiteral("there is no printer named %1").arg(printerName));
        return false;
    }
    QPrinter printer(info, QPrinter::HighResolution);
    if (m_context.printPageLayout) printer.setPageLayout(*m_context.printPageLayout);
    view->PrintPages(printer);
    return true;
}

void CChartWindowDocument::FillStopEventMenu(QMenu* menu) {
    if (CTallonView* view = ActiveView()) view->FillStopEventMenu(menu);
}
