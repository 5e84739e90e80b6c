#include "ChartWindowDocument.h"

#include "com/ccombstr.h"
#include "display/ChartFonts.h"
#include "document/AppContext.h"
#include "document/CTallonChart.h"
#include "document/ZynMessageBox.h"
#include "exchange/ChannelClipboard.h"
#include "exchange/ChartFile.h"
#include "exchange/ClipboardCommands.h"
#include "exchange/CsvExport.h"
#include "exchange/CsvImport.h"
#include "options/ChartPropertySheet.h"
#include "options/EventDialog.h"
#include "report/ReportView.h"
#include "resources/ZynMenus.h"
#include "resources/ZynStrings.h"
#include "utils/ZynFiles.h"
#include "view/ChartView.h"

#include <QAction>
#include <QFile>
#include <QGuiApplication>
#include <QPalette>
#include <QPointer>
#include <QPrinter>
#include <QPrinterInfo>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace zyn::shell {

namespace {

COLORREF SystemWindowColour() {
    const QColor c = QGuiApplication::palette().color(QPalette::Base);
    return COLORREF(c.red()) | (COLORREF(c.green()) << 8) | (COLORREF(c.blue()) << 16);
}

bool Failed(FileOutcome* outcome, std::string why) {
    if (outcome) outcome->error = std::move(why);
    return false;
}

} // namespace

bool IsCsvPath(const QString& path) {
    return path.section(u'.', -1).compare(QLatin1String("csv"), Qt::CaseInsensitive) == 0 &&
           path.contains(u'.');
}

std::string FileNameBytes(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

std::string WhyUnreadable(const std::string& path, const std::string& otherwise) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return errno == ENOENT ? "the file does not exist" : otherwise;
    if (S_ISDIR(st.st_mode)) return "it is a folder, not a regular file";
    if (!S_ISREG(st.st_mode)) return "it is not a regular file";
    if (std::uint64_t(st.st_size) > zyn::chartfile::kMaxFileBytes)
        return std::string(DescribeChartFileError(zyn::chartfile::ChartFileError::TooLarge));
    if (::access(path.c_str(), R_OK) != 0) return "you have no permission to read it";
    return otherwise;
}

bool LoadChartFile(CTallonChart& doc, const std::string& path, FileOutcome* outcome) {
    using namespace zyn::chartfile;
    FileOutcome local;
    FileOutcome& result = outcome ? *outcome : local;
    result = {};
    std::vector<std::uint8_t> bytes;
    std::string why;
    if (!ZynReadRegularFile(path, bytes, kMaxFileBytes, &why))
        return Failed(&result, WhyUnreadable(path, why));
    ChartFileParts parts;
    if (const ChartFileError error = ParseChartFile(bytes, parts); error != ChartFileError::None)
        return Failed(&result, std::string(DescribeChartFileError(error)));
    CComPtr<IZynApp> app = doc.Context().App();
    if (!app) return Failed(&result, "the chart objects cannot be made");
    std::string partial;
    CComPtr<IZynChart> loaded = LoadChartBytes(app, parts.chart, &partial);
    if (!loaded) return Failed(&result, "the chart data in it is damaged");
    if (!ChartTimesAreDates(loaded, &why)) {
        loaded->Detach();
        return Failed(&result, "the chart data in it is damaged: " + why);
    }
    // The record is read over a copy: a record that does not read leaves the document's as it was.
    ChartSettings settings;
    CopySettings(settings, doc.Settings());
    if (parts.hasSettings) {
        if (!ReadChartSettings(parts.settings.data(), parts.settings.size(), settings)) {
            loaded->Detach();
            return Failed(&result, std::string(DescribeChartFileError(ChartFileError::SettingsTooLong)));
        }
        FinishChartSettings(settings, true, SystemWindowColour());
    }
    CopySettings(doc.Settings(), settings);
    doc.AttachChart(loaded);
    doc.SetModifiedFlag(false);
    doc.UpdateAllViews(CTallonChart::kHintRelayout);
    result.partial = partial;
    return true;
}

bool LoadChartFile(CTallonChart& doc, const QString& path, FileOutcome* outcome) {
    return LoadChartFile(doc, FileNameBytes(path), outcome);
}

bool SaveChartFile(CTallonChart& doc, const std::string& path, FileOutcome* outcome) {
    using namespace zyn::chartfile;
    FileOutcome local;
    FileOutcome& result = outcome ? *outcome : local;
    result = {};
    IZynChart* chart = doc.Chart();
    if (!chart) return Failed(&result, "there is no chart");
    const std::u16string name = ChartNameFromPath(path);
    if (!name.empty()) chart->put_Name(CComBSTR(name));
    std::vector<std::uint8_t> chartBytes;
    if (!SaveChartBytes(chart, chartBytes)) return Failed(&result, "the chart cannot produce its saved form");
    RefreshStoredFonts(doc.Settings());
    const ChartSettingsBytes record = WriteChartSettings(doc.Settings());
    std::string why;
    if (!ZynSaveFile(path, ComposeChartFile(chartBytes, record), &why, &result.notes))
        return Failed(&result, why);
    return true;
}

bool SaveChartFile(CTallonChart& doc, const QString& path, FileOutcome* outcome) {
    return SaveChartFile(doc, FileNameBytes(path), outcome);
}

} // namespace zyn::shell

CChartWindowDocument::CChartWindowDocument(CAppContext& context, QObject* parent)
    : CTallonAppDocument(parent), m_context(context), m_doc(new CTallonChart(context, this)),
      m_clipboard(new CClipboardCommands(m_doc, this)) {
    connect(m_doc, &CTallonChart::titleChanged, this, &CTallonAppDocument::TitleChanged);
    connect(m_doc, &CTallonChart::modifiedChanged, this, &CTallonAppDocument::ModifiedChanged);
    connect(m_doc, &CTallonChart::statusMessage, this, &CTallonAppDocument::StatusMessage);
    connect(m_doc, &CTallonChart::chartChanged, this, &CTallonAppDocument::ChartChanged);
    connect(m_doc, &CTallonChart::showInChannelBar, this, &CTallonAppDocument::ShowInChannelBar);
    connect(m_doc, &CTallonChart::deleteChannelRequested, this, &CTallonAppDocument::DeleteChannelRequested);
}

// The views may outlive the document by a moment (their frames go with deleteLater); they hold
// it through a guarded pointer.
CChartWindowDocument::~CChartWindowDocument() {
    zyn::clipboard::ReleaseClipboardOf(m_doc);
}

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
    zyn::shell::FileOutcome outcome;
    if (zyn::shell::IsCsvPath(path)) {
        const std::string bytes = zyn::shell::FileNameBytes(path);
        ok = m_doc->Chart() && zyn::csv::LoadCsv(bytes, m_doc->Chart(), &outcome.error);
        if (ok) {
            m_doc->OnChartNotify();
            m_doc->OnNewDocument(); // the chart took the file's name
        } else {
            outcome.error = zyn::shell::WhyUnreadable(bytes, outcome.error);
        }
    } else {
        ok = zyn::shell::LoadChartFile(*m_doc, path, &outcome);
    }
    if (!ok) {
        Fail(QStringLiteral("Cannot open %1").arg(path), QString::fromStdString(outcome.error));
        ReportFailure(zyn::chartfile::kOpenFailedMessage);
        return false;
    }
    m_path = path;
    m_doc->SetModifiedFlag(false);
    // The chart opens with what could be read; the user must know it is not the whole file.
    if (!outcome.partial.empty())
        ZynMessageBox(
            QStringLiteral("The chart file %1 could be read only in part (%2). The chart shows what "
                           "was read; saving it keeps only that.")
                .arg(path, QString::fromStdString(outcome.partial)));
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
    zyn::shell::FileOutcome outcome;
    zyn::csv::CsvReport csv;
    const bool isCsv = zyn::shell::IsCsvPath(path);
    if (!isCsv) RecordViewSettings();
    const bool ok = isCsv ? zyn::csv::SaveCsv(zyn::shell::FileNameBytes(path), m_doc->Chart(), {}, &csv)
                          : zyn::shell::SaveChartFile(*m_doc, path, &outcome);
    if (isCsv) {
        outcome.error = csv.error;
        outcome.notes = csv.fileNotes;
    }
    if (!ok) {
        Fail(QStringLiteral("Cannot save %1").arg(path), QString::fromStdString(outcome.error));
        ReportFailure(zyn::chartfile::kSaveFailedMessage);
        return false;
    }
    m_path = path;
    m_doc->SetModifiedFlag(false);
    // The chart was renamed after the file.
    m_doc->OnNewDocument();
    QStringList notes;
    for (const auto& note : outcome.notes)
        notes << QString::fromStdString(note);
    if (isCsv && csv.rowsSharingATime > 0)
        notes << QStringLiteral("%1 of %2 rows have the same time text, to the second, as the row before")
                     .arg(csv.rowsSharingATime)
                     .arg(csv.rows);
    if (!notes.isEmpty())
        emit StatusMessage(path + QStringLiteral(": ") + notes.join(QStringLiteral("; ")), 1);
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
    view->SetDropHandlers(&zyn::clipboard::DropEffect, [this](const QMimeData* data) {
        return zyn::clipboard::PasteFromDataObject(*m_doc, data);
    });
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
        return ActiveView() && ActiveView()->Action(command) ? nullptr : DocumentAction(command);
    }
    if (CTallonView* view = ActiveView())
        if (QAction* a = view->Action(command)) return a;
    return DocumentAction(command);
}

QAction* CChartWindowDocument::DocumentAction(int command) const {
    if (QAction* a = m_doc->Action(command)) return a;
    return m_clipboard->Action(command);
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
    m_clipboard->UpdateActions();
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
    // copies, "&Paste (channel)\tCtrl+V" what it pastes; the zoom slots name their spans.
    if (command == ZynCmd::DeleteChannel || command == ZynCmd::EditCopy || command == ZynCmd::EditCut ||
        command == ZynCmd::EditPaste || (command >= ZynCmd::Zoom1 && command <= ZynCmd::Zoom7))
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
