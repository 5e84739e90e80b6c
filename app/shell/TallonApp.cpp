#include "TallonApp.h"

#include "ChartWindowDocument.h"
#include "ChildFrame.h"
#include "CommandIcons.h"
#include "MainFrame.h"
#include "TallonAppDocument.h"
#include "TallonAutomationHost.h"
#include "Tips.h"
#include "automation/CAutomationServer.h"
#include "com/ccombstr.h"
#include "com/classregistry.h"
#include "com/errorinfo.h"
#include "document/CTallonChart.h"
#include "document/StoredList.h"
#include "document/ZynMessageBox.h"
#include "exchange/CsvImport.h"
#include "exchange/HistoryImport.h"
#include "exchange/ScriptLanguage.h"
#include "objlib/ZynInterfaces.h"
#include "options/AboutBox.h"
#include "options/PromImportDialog.h"
#include "registry/registry.h"
#include "resources/ZynStrings.h"
#include "utils/ZynRegistry.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMdiArea>
#include <cstdio>
#include <utility>

namespace {

constexpr int kMaxRecentFiles = 16;
// The splash: shown for a second, held a little longer (much longer on a first run), and kept up
// while the main frame settles.
constexpr DWORD kSplashShowMs = 1000;
constexpr DWORD kSplashHoldMs = 100;
constexpr DWORD kFirstRunHoldMs = 4000;
constexpr DWORD kSplashCloseMs = 500;
// While the splash is up, events are handled at this interval.
constexpr DWORD kPumpSliceMs = 10;

bool IsSwitch(const QString& arg) {
    return arg.startsWith(u'/') || arg.startsWith(u'-');
}

QString SwitchName(const QString& arg) {
    QString s = arg;
    while (s.startsWith(u'-') || s.startsWith(u'/'))
        s.remove(0, 1);
    return s.toLower();
}

DWORD ReadToolbarVer() {
    CZynRegistry* reg = GetUserReg(u"Settings");
    if (!reg) return 0;
    const DWORD v = reg->ReadDWord(u"ToolbarVer", 0);
    ReleaseReg(reg);
    return v;
}

} // namespace

TallonCommandLine ParseTallonCommandLine(const QStringList& args, const std::vector<std::string>& raw) {
    TallonCommandLine cmd;
    cmd.noArguments = args.isEmpty();
    QStringList files;
    std::vector<std::string> fileBytes;
    auto bytesOf = [&](int i) {
        return raw.size() == std::size_t(args.size()) ? raw[std::size_t(i)]
                                                      : zyn::shell::FileNameBytes(args[i]);
    };
    for (int i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        // A leading '/' is also how absolute paths start: a switch is a known name only.
        const QString name = IsSwitch(arg) ? SwitchName(arg) : QString();
        if (name == u"p" || name == u"print") {
            cmd.kind = TallonCommandLine::Kind::Print;
        } else if (name == u"pt" || name == u"print-to") {
            cmd.kind = TallonCommandLine::Kind::PrintTo;
            if (i + 1 < args.size()) {
                files << args[++i];
                fileBytes.push_back(bytesOf(i));
            }
            if (i + 1 < args.size()) cmd.printer = args[++i];
            // The driver and port that may follow the printer name are read and ignored.
            i = std::min<int>(i + 2, int(args.size()) - 1);
        } else if (name == u"embedding") {
            cmd.embedding = true;
            cmd.kind = TallonCommandLine::Kind::Automation;
        } else if (name == u"automation") {
            cmd.automation = true;
            cmd.kind = TallonCommandLine::Kind::Automation;
        } else if (name == u"unregister" || name == u"unregserver") {
            cmd.kind = TallonCommandLine::Kind::Unregister;
        } else if (name == u"register" || name == u"regserver") {
            cmd.kind = TallonCommandLine::Kind::Register;
        } else if (name == u"export-csv" || name == u"export-image" || name == u"export-report" ||
                   name == u"export-script") {
            cmd.kind = name == u"export-csv"      ? TallonCommandLine::Kind::ExportCsv
                       : name == u"export-image"  ? TallonCommandLine::Kind::ExportImage
                       : name == u"export-script" ? TallonCommandLine::Kind::ExportScript
                                                  : TallonCommandLine::Kind::ExportReport;
            if (i + 2 >= args.size()) {
                cmd.kind = TallonCommandLine::Kind::Invalid;
                cmd.error = QStringLiteral("%1 needs a chart file and an output file").arg(arg);
                return cmd;
            }
            cmd.file = args[++i];
            cmd.fileBytes = bytesOf(i);
            cmd.output = args[++i];
            cmd.outputBytes = bytesOf(i);
            // The script's language comes from its extension, as in the save dialog.
            if (cmd.kind == TallonCommandLine::Kind::ExportScript &&
                !zyn::script::ScriptLanguageForPath(cmd.output)) {
                cmd.kind = TallonCommandLine::Kind::Invalid;
                cmd.error = QStringLiteral("%1 writes OUT.js (JScript) or OUT.vbs (VBScript), not %2")
                                .arg(arg, cmd.output);
                return cmd;
            }
        } else if (name == u"csv-ms") {
            cmd.csvMilliseconds = true;
        } else if (name == u"help" || name == u"h" || name == u"?") {
            cmd.kind = TallonCommandLine::Kind::Help;
            return cmd;
        } else if (name == u"version") {
            cmd.kind = TallonCommandLine::Kind::Version;
            return cmd;
        } else if (name == u"size") {
            const QStringList wh = i + 1 < args.size() ? args[++i].toLower().split(u'x') : QStringList();
            bool okW = false, okH = false;
            if (wh.size() == 2) cmd.size = QSize(wh[0].toInt(&okW), wh[1].toInt(&okH));
            if (!okW || !okH || cmd.size.width() <= 0 || cmd.size.height() <= 0 || cmd.size.width() > 16384 ||
                cmd.size.height() > 16384) {
                cmd.kind = TallonCommandLine::Kind::Invalid;
                cmd.error = QStringLiteral("--size needs WIDTHxHEIGHT");
                return cmd;
            }
        } else if (!name.isEmpty() && arg.startsWith(u'-')) {
            cmd.kind = TallonCommandLine::Kind::Invalid;
            cmd.error = QStringLiteral("unknown option %1").arg(arg);
            return cmd;
        } else {
            files << arg;
            fileBytes.push_back(bytesOf(i));
        }
    }
    if (!files.isEmpty() && cmd.file.isEmpty()) {
        cmd.file = files.first();
        cmd.fileBytes = fileBytes.front();
    }
    if (cmd.csvMilliseconds && cmd.kind != TallonCommandLine::Kind::ExportCsv) {
        cmd.kind = TallonCommandLine::Kind::Invalid;
        cmd.error = QStringLiteral("--csv-ms goes with --export-csv");
    }
    if (cmd.kind == TallonCommandLine::Kind::FileNew && !cmd.file.isEmpty())
        cmd.kind = TallonCommandLine::Kind::FileOpen;
    if ((cmd.kind == TallonCommandLine::Kind::Print || cmd.kind == TallonCommandLine::Kind::PrintTo) &&
        cmd.file.isEmpty()) {
        cmd.kind = TallonCommandLine::Kind::Invalid;
        cmd.error = QStringLiteral("printing needs a chart file");
    }
    return cmd;
}

QString TallonUsageText() {
    return QStringLiteral(
        "Usage: Tallon [OPTION]... [FILE]\n"
        "Charts the system's performance counters. FILE is a chart file (.tlon) or comma-separated\n"
        "text (.csv); without FILE a new chart opens.\n"
        "\n"
        "  FILE                        open FILE in a chart window\n"
        "  /p, --print FILE            print the chart on the default printer and exit\n"
        "  /pt, --print-to FILE PRINTER [DRIVER PORT]\n"
        "                              print the chart on PRINTER and exit\n"
        "  /Embedding, --embedding     start for automation, no new chart\n"
        "  /Automation, --automation   start for automation, no new chart\n"
        "  /Register, --register       register the program and its automation server in the\n"
        "                              settings store and exit (also /Regserver)\n"
        "  /Unregister, --unregister   remove the program's registration from the settings store\n"
        "                              and exit (also /Unregserver)\n"
        "  --export-image FILE OUT.png [--size WIDTHxHEIGHT]\n"
        "                              draw the chart into an image without a window\n"
        "                              (800x500 unless --size says otherwise)\n"
        "  --export-csv FILE OUT.csv [--csv-ms]\n"
        "                              write the chart's samples as comma-separated text without\n"
        "                              a window (--csv-ms: times to the millisecond)\n"
        "  --export-report FILE OUT    write the chart's report without a window, as text (.txt),\n"
        "                              a printed document (.pdf) or a web page (.html)\n"
        "  --export-script FILE OUT.js|OUT.vbs\n"
        "                              write a JScript or VBScript file that rebuilds the chart\n"
        "                              through \"Tallon.Application\", without a window\n"
        "  -h, --help                  show this help and exit\n"
        "      --version               show the version and exit\n"
        "\n"
        "Switches are case-insensitive and take '/' or '--'. Settings are kept in\n"
        "$XDG_CONFIG_HOME/zynthar/ (or in $ZYN_REGISTRY_DIR when it is set).\n"
        "Exit status: 0 on success, 1 when a file cannot be read or written, 2 for a wrong command line.\n");
}

QString ApplyExtensionRule(const QString& name, int filterIndex) {
    if (!QFileInfo(name).suffix().isEmpty()) return name;
    QString out = name;
    if (!out.endsWith(u'.')) out += u'.';
    out += filterIndex == 1 ? QStringLiteral("csv") : QStringLiteral("tlon");
    return out;
}

CTallonApp::CTallonApp(QObject* parent) : QObject(parent) {}

CTallonApp::~CTallonApp() {
    zyn::registry::SetNoticeHandler(nullptr);
    // The server first: its objects reach the frame and the documents.
    delete std::exchange(m_server, nullptr);
    delete std::exchange(m_frame, nullptr);
    for (CTallonAppDocument* doc : m_documents)
        delete doc;
    // Documents closed but not yet deleted: they must go before the context they use.
    qDeleteAll(findChildren<CTallonAppDocument*>(Qt::FindDirectChildrenOnly));
    delete m_splash;
}

bool CTallonApp::UnregisterObjectLibrary() {
    const std::string library = zyn::com::OwnServerLibrary(ZYNTALLONOBJLib_TypeLib());
    return !library.empty() && SUCCEEDED(zyn::com::CallServerExport(library.c_str(), "DllUnregisterServer"));
}

int CTallonApp::RecentFileLimit() const {
    return std::clamp(int(m_context.Settings().Get(CNumberedSettings::kRecentFileCount)), 0, kMaxRecentFiles);
}

void CTallonApp::LoadRecentFiles() {
    m_recent = LoadStoredList(u"Recent File List", u"File", RecentFileLimit());
}

void CTallonApp::SaveRecentFiles() {
    SaveStoredList(u"Recent File List", u"File", RecentFileLimit(), m_recent);
}

void CTallonApp::AddToRecentFiles(const QString& path) {
    const QString full = QFileInfo(path).absoluteFilePath();
    m_recent.removeAll(full);
    m_recent.prepend(full);
    while (m_recent.size() > RecentFileLimit())
        m_recent.removeLast();
}

void CTallonApp::ShowSplash(bool firstRun) {
    // The about box's content, without its frame and button.
    auto* splash = new CAboutBox(CAboutBox::Mode::Splash, ZynVersionText());
    splash->show();
    m_splash = splash;
    m_splashShown = true;
    PumpEvents(kSplashShowMs, [splash] { return !splash->isVisible(); });
    // A first run keeps the splash up a while longer.
    m_context.clock->Wait(nullptr, firstRun ? kFirstRunHoldMs : kSplashHoldMs);
}

void CTallonApp::PumpEvents(DWORD ms, const std::function<bool()>& done) {
    zyn::sync::IClock& clock = *m_context.clock;
    const std::uint64_t end = clock.TickMs() + ms;
    while (!done() && clock.TickMs() < end) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, int(kPumpSliceMs));
        clock.Wait(nullptr, kPumpSliceMs);
    }
}

void CTallonApp::OnStoreNotice(const QString& text) {
    if (m_started)
        ShowStoreNotice(text);
    else
        m_storeNotices << text;
}

void CTallonApp::ShowStoreNotice(const QString& text) {
    if (m_frame) m_frame->ShowStatusMessage(text, 1);
    // A program started for a script has nobody to click a box away.
    if (!m_automationStarted) ZynMessageBox(text);
}

bool CTallonApp::InitInstance(const TallonCommandLine& cmd, int& exitCode) {
    exitCode = 0;
    // From any thread that opens the store; shown on this one.
    zyn::registry::SetNoticeHandler([this](const std::string& text) {
        std::fprintf(stderr, "Tallon: %s\n", text.c_str());
        QMetaObject::invokeMethod(
            this, [this, notice = QString::fromStdString(text)] { OnStoreNotice(notice); },
            Qt::QueuedConnection);
    });
    // Every window of the program, the splash and the chart windows too, shows the program's icon.
    QApplication::setWindowIcon(ApplicationIcon());
    if (cmd.kind == TallonCommandLine::Kind::Unregister) {
        CAutomationServer::UnregisterClasses();
        const bool ok = UnregisterObjectLibrary();
        if (!ok && !cmd.embedding) ZynMessageBox(LoadZynString(61708));
        exitCode = ok ? 0 : 1;
        return false;
    }
    if (cmd.kind == TallonCommandLine::Kind::Register) {
        // What an installer would do: the program's classes, and the object library beside it.
        const zyn::com::ServerLibraryUse library = zyn::com::UseOwnServerLibrary(ZYNTALLONOBJLib_TypeLib());
        const bool ok =
            CAutomationServer::RegisterClasses() && SUCCEEDED(library.hr) && SUCCEEDED(library.registration);
        exitCode = ok ? 0 : 1;
        return false;
    }
    const bool automated = cmd.kind == TallonCommandLine::Kind::Automation;
    if (cmd.noArguments && !automated) ShowSplash(ReadToolbarVer() == 0);

    m_context.LoadFromRegistry();
    LoadRecentFiles();
    const QString libraryNotice = CAppContext::UseObjectLibrary();

    m_frame = new CMainFrame(this);
    m_context.mainWindow = m_frame;
    m_automationStarted = automated;
    // Clients may find the class from here on; their calls are served once the event loop runs.
    if (!automated) CAutomationServer::RegisterClasses();
    if (!StartAutomationServer(automated) && automated) {
        exitCode = 1;
        return false;
    }

    switch (cmd.kind) {
    case TallonCommandLine::Kind::FileNew:
        if (!OnFileNew()) {
            exitCode = 1;
            return false;
        }
        m_frame->TileWindows();
        break;
    case TallonCommandLine::Kind::FileOpen:
        if (!OpenDocumentFile(cmd.file)) {
            exitCode = 1;
            return false;
        }
        break;
    case TallonCommandLine::Kind::Print:
    case TallonCommandLine::Kind::PrintTo:
        exitCode = PrintFile(cmd) ? 0 : 1;
        return false;
    default:
        break;
    }

    // Last, so that no start-up message hides it.
    if (!libraryNotice.isEmpty()) m_frame->ShowStatusMessage(libraryNotice, 1);
    m_frame->show();
    if (m_splash) {
        PumpEvents(kSplashCloseMs, [this] { return m_automationStarted; });
        m_splash->close();
        m_splash->deleteLater();
        m_splash = nullptr;
    }
    // The start-up tips follow the splash when there is one: an interactive start shows them either way.
    if (!m_automationStarted)
        QMetaObject::invokeMethod(m_frame, &CMainFrame::RunStartupTasks, Qt::QueuedConnection);
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_started = true;
            for (const QString& notice : std::exchange(m_storeNotices, {}))
                ShowStoreNotice(notice);
        },
        Qt::QueuedConnection);
    return true;
}

bool CTallonApp::StartAutomationServer(bool automated) {
    m_host = std::make_unique<CTallonAutomationHost>(*this);
    m_server = new CAutomationServer(m_context, *m_host);
    if (!m_server->Start(automated)) {
        if (automated) std::fputs("Tallon: there is no session bus to serve automation on\n", stderr);
        return false;
    }
    // Another program already offers the class to every client: this one has nobody to serve.
    if (automated && !m_server->OffersClass()) return false;
    return true;
}

bool CTallonApp::HandOverToAutomation() {
    if (!m_server || !m_server->HasClients()) return false;
    for (CTallonAppDocument* doc : std::vector<CTallonAppDocument*>(m_documents))
        CloseDocument(doc);
    if (m_frame) m_frame->hide();
    m_server->HandOver();
    return true;
}

void CTallonApp::TakeUserControl() {
    if (m_server) m_server->SetUserControl(true);
}

bool CTallonApp::PrintFile(const TallonCommandLine& cmd) {
    m_frame->hide();
    CTallonAppDocument* doc = OpenDocumentFile(cmd.file);
    if (!doc) return false;
    if (doc->PrintDirect(cmd.printer)) return true;
    m_lastError = doc->LastError();
    return false;
}

void CTallonApp::ExitInstance() {
    // No chart notification reaches the frames from here on.
    m_context.SetMainFrameGone(true);
    SaveRecentFiles();
    m_context.SaveToRegistry();
    m_context.Close();
}

CTallonAppDocument* CTallonApp::CreateDocument() {
    auto* doc = new CChartWindowDocument(m_context, this);
    m_documents.push_back(doc);
    if (m_frame) m_frame->ConnectDocument(doc);
    return doc;
}

void CTallonApp::AttachFrame(CTallonAppDocument* doc) {
    auto* child = new CChildFrame(doc);
    m_frame->AddChildFrame(child);
    connect(child, &QObject::destroyed, this, [this, doc] {
        // The document goes with its last window.
        if (!m_frame) return;
        for (QMdiSubWindow* w : m_frame->MdiArea()->subWindowList())
            if (auto* c = qobject_cast<CChildFrame*>(w); c && c->Document() == doc) return;
        CloseDocument(doc);
    });
}

CTallonAppDocument* CTallonApp::OnFileNew() {
    TakeUserControl();
    return NewWindow(nullptr);
}

CTallonAppDocument* CTallonApp::NewWindow(IZynChart* chart) {
    CTallonAppDocument* doc = CreateDocument();
    if (!doc) return nullptr;
    if (!doc->OnNewDocument()) {
        CloseDocument(doc);
        return nullptr;
    }
    if (chart) {
        auto* window = qobject_cast<CChartWindowDocument*>(doc);
        if (!window) {
            CloseDocument(doc);
            return nullptr;
        }
        window->Document()->AttachChart(chart);
    }
    AttachFrame(doc);
    return doc;
}

CTallonAppDocument* CTallonApp::OpenWindow(const QString& path) {
    auto* doc = qobject_cast<CChartWindowDocument*>(CreateDocument());
    if (!doc) return nullptr;
    doc->SetInteractive(false);
    const bool opened = doc->OnOpenDocument(QFileInfo(path).absoluteFilePath());
    doc->SetInteractive(true);
    if (!opened) {
        CloseDocument(doc);
        return nullptr;
    }
    AddToRecentFiles(path);
    AttachFrame(doc);
    return doc;
}

CTallonAppDocument* CTallonApp::OpenDocumentFile(const QString& path) {
    TakeUserControl();
    // A file already open is activated, not opened twice.
    const QString full = QFileInfo(path).absoluteFilePath();
    for (CTallonAppDocument* d : m_documents) {
        if (d->PathName() == full) {
            for (QMdiSubWindow* w : m_frame->MdiArea()->subWindowList())
                if (auto* c = qobject_cast<CChildFrame*>(w); c && c->Document() == d)
                    m_frame->MdiArea()->setActiveSubWindow(c);
            return d;
        }
    }
    CTallonAppDocument* doc = CreateDocument();
    if (!doc) return nullptr;
    if (!doc->OnOpenDocument(full)) {
        m_lastError = doc->LastError();
        CloseDocument(doc);
        return nullptr;
    }
    AddToRecentFiles(full);
    AttachFrame(doc);
    return doc;
}

void CTallonApp::OnFileOpen() {
    QString path;
    if (DoPromptFileName(path, true)) OpenDocumentFile(path);
}

namespace {

// An automation date: days since 1899-12-30 in local wall-clock time.
double DateFromQDateTime(const QDateTime& t) {
    const QDateTime local = t.toLocalTime();
    return double(QDate(1899, 12, 30).daysTo(local.date())) +
           local.time().msecsSinceStartOfDay() / 86400000.0;
}

} // namespace

void CTallonApp::OnImportPrometheus() {
    TakeUserControl();
    if (m_lastImport.serverUrl.isEmpty()) {
        m_lastImport.serverUrl = QStringLiteral("http://localhost:9090");
        m_lastImport.end = QDateTime::currentDateTime();
        m_lastImport.start = m_lastImport.end.addSecs(-3600);
    }
    if (!RunPromImportDialog(m_frame, m_lastImport)) return;
    const auto bstr = [](const QString& s) { return CComBSTR(reinterpret_cast<const char16_t*>(s.utf16())); };
    const auto date = [](const QDateTime& t) { return CComVariant::Date(DateFromQDateTime(t)); };
    CComPtr<IZynChart> chart;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const HRESULT hr = zyn::history::ImportPrometheusChart(
        m_context.App(), bstr(m_lastImport.serverUrl), bstr(m_lastImport.query), date(m_lastImport.start),
        date(m_lastImport.end), m_lastImport.stepSeconds, chart);
    QApplication::restoreOverrideCursor();
    if (FAILED(hr)) {
        CComPtr<IErrorInfo> info;
        CComBSTR text;
        if (GetErrorInfo(0, &info) == S_OK && info) info->GetDescription(&text);
        const std::u16string_view why = text.View();
        ZynMessageBox(QStringLiteral("Could not import from Prometheus: %1")
                          .arg(QString::fromUtf16(why.data(), qsizetype(why.size()))));
        return;
    }
    NewWindow(chart);
}

bool CTallonApp::DoPromptFileName(QString& path, bool open) {
    int filter = 0;
    QString chosen = path;
    bool ok = false;
    if (m_prompt) {
        ok = m_prompt(open, chosen, filter);
    } else {
        const QStringList filters = {QStringLiteral("Tallon files(*.tlon) (*.tlon)"),
                                     QStringLiteral("CSV files(*.csv) (*.csv)"),
                                     QStringLiteral("All Files (*.*) (*)")};
        QFileDialog dialog(m_frame, open ? QStringLiteral("Open") : QStringLiteral("Save As"), path);
        dialog.setNameFilters(filters);
        dialog.selectNameFilter(filters.first());
        dialog.setAcceptMode(open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
        dialog.setFileMode(open ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
        dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
        ok = dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty();
        if (ok) {
            chosen = dialog.selectedFiles().first();
            filter = int(filters.indexOf(dialog.selectedNameFilter()));
        }
    }
    if (!ok) return false;
    path = ApplyExtensionRule(chosen, filter);
    return true;
}

bool CTallonApp::SaveDocument(CTallonAppDocument* doc, bool saveAs) {
    if (!doc) return false;
    QString path = doc->PathName();
    if (saveAs || path.isEmpty()) {
        if (path.isEmpty()) path = doc->Title();
        if (!DoPromptFileName(path, false)) return false;
    }
    if (!doc->OnSaveDocument(path)) return false;
    AddToRecentFiles(path);
    return true;
}

bool CTallonApp::SaveModified(CTallonAppDocument* doc) {
    // Shift held or expert mode: no question, the changes are dropped.
    if (m_context.NoPrompts()) doc->SetModifiedFlag(false);
    if (!doc->IsModified()) return true;
    switch (ZynMessageBox(QStringLiteral("Save changes to %1?").arg(doc->Title()),
                          QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Question)) {
    case QMessageBox::Yes:
        return SaveDocument(doc, false);
    case QMessageBox::No:
        return true;
    default:
        return false;
    }
}

void CTallonApp::CloseDocument(CTallonAppDocument* doc) {
    auto it = std::find(m_documents.begin(), m_documents.end(), doc);
    if (it == m_documents.end()) return;
    m_documents.erase(it);
    if (m_frame) {
        for (QMdiSubWindow* w : m_frame->MdiArea()->subWindowList()) {
            auto* c = qobject_cast<CChildFrame*>(w);
            if (c && c->Document() == doc) {
                c->disconnect(this);
                c->close();
            }
        }
        if (m_frame->ChannelBar()) m_frame->ChannelBarShowDocument(m_frame->ActiveDocument(), true);
    }
    doc->deleteLater();
}
