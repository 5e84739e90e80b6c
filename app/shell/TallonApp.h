#pragma once
// CTallonApp: start-up, the command line, the document list, the file dialog, recent files and
// shutdown of the program.

#include "document/AppContext.h"
#include "options/PromImportDialog.h"

#include <QObject>
#include <QSize>
#include <QStringList>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class CAutomationServer;
class CMainFrame;
class CTallonAppDocument;
class CTallonAutomationHost;
struct IZynChart;
class QWidget;

struct TallonCommandLine {
    enum class Kind {
        FileNew,
        FileOpen,
        Print,
        PrintTo,
        Automation,
        Register,
        Unregister,
        ExportCsv,
        ExportImage,
        Help,
        Version,
        ExportReport,
        ExportScript,
        Invalid
    };
    Kind kind = Kind::FileNew;
    QString file;   // the chart file to open, print or export
    QString output; // export target
    // The same two names as the command line gave them: bytes, which a name that is not UTF-8
    // needs to reach its file.
    std::string fileBytes, outputBytes;
    bool csvMilliseconds = false; // --csv-ms: an export's times to the millisecond
    QString printer;              // /pt printer name
    QSize size;                   // --size WxH of an image export
    bool embedding = false;
    bool automation = false;
    bool noArguments = true; // the process got no arguments at all
    QString error;
};

// Both spellings: "/p" and "--print", "/Embedding" and "--embedding" (case-insensitive switches).
// `raw`, when given, holds the same arguments as bytes (the process's argv).
TallonCommandLine ParseTallonCommandLine(const QStringList& args, const std::vector<std::string>& raw = {});

// What `Tallon --help` prints: every option the parser above takes.
QString TallonUsageText();

// The name the file dialog gives back: "." and "csv" (second filter) or "tlon" appended to a
// name without extension.
QString ApplyExtensionRule(const QString& name, int filterIndex);

class CTallonApp : public QObject {
    Q_OBJECT
public:
    // Tests answer the file dialog: the path chosen and the filter index, false for Cancel.
    using PromptHook = std::function<bool(bool open, QString& path, int& filterIndex)>;

    explicit CTallonApp(QObject* parent = nullptr);
    ~CTallonApp() override;

    // What every document of the process shares: the application object, the numbered settings,
    // the default chart settings, the channel bar's selection and the dialogs' owner.
    CAppContext& Context() { return m_context; }
    void SetPromptHook(PromptHook hook) { m_prompt = std::move(hook); }

    // Start-up; false when the process must end, with its exit code.
    bool InitInstance(const TallonCommandLine& cmd, int& exitCode);
    // Shutdown: settings to the store, objects released.
    void ExitInstance();

    CMainFrame* MainFrame() const { return m_frame; }
    // Why the last file given to the program could not be opened or printed, naming the file;
    // start-up failures show it on standard error.
    QString LastError() const { return m_lastError; }
    bool AutomationStarted() const { return m_automationStarted; }
    bool SplashShown() const { return m_splashShown; }

    // The user's own commands: they take control of a program started for automation.
    CTallonAppDocument* OnFileNew();
    CTallonAppDocument* OpenDocumentFile(const QString& path);
    // Windows made for automation: a new chart (or one over `chart`), and a file in a new window;
    // nothing is asked of anyone, and the user keeps no control.
    CTallonAppDocument* NewWindow(IZynChart* chart);
    CTallonAppDocument* OpenWindow(const QString& path);
    // The automation server, or null when the program runs without one (no session bus).
    CAutomationServer* AutomationServer() const { return m_server; }
    // When the user closes the program while clients hold objects of it: every window closes, the
    // main frame hides, and the program ends with its last client. False (nothing done) when no
    // client holds anything.
    bool HandOverToAutomation();
    void OnFileOpen();
    // File > Import from Prometheus: asks for a server, a query, a range and a step, and opens the
    // history as a new chart window, or says why it could not.
    void OnImportPrometheus();
    bool SaveDocument(CTallonAppDocument* doc, bool saveAs);
    // Asks about unsaved changes; false when the user cancels.
    bool SaveModified(CTallonAppDocument* doc);
    void CloseDocument(CTallonAppDocument* doc);
    const std::vector<CTallonAppDocument*>& Documents() const { return m_documents; }

    // The file dialog with its filters; on OK the extension rule applies.
    bool DoPromptFileName(QString& path, bool open);

    QStringList RecentFiles() const { return m_recent; }
    void AddToRecentFiles(const QString& path);
    int RecentFileLimit() const;

    // /Unregister: the object library beside the program removes its classes from the store.
    static bool UnregisterObjectLibrary();

private:
    CTallonAppDocument* CreateDocument();
    void AttachFrame(CTallonAppDocument* doc);
    void LoadRecentFiles();
    void SaveRecentFiles();
    void ShowSplash(bool firstRun);
    // Handles events for up to `ms` of the context's clock, or until `done` holds.
    void PumpEvents(DWORD ms, const std::function<bool()>& done);
    bool PrintFile(const TallonCommandLine& cmd);
    // What the settings store did on its own (a damaged file moved aside): said once, in a box
    // and on the status pane, when the program is up; kept until then.
    void OnStoreNotice(const QString& text);
    void ShowStoreNotice(const QString& text);
    bool StartAutomationServer(bool automated);
    void TakeUserControl();

    // First member: it outlives the frame and every document.
    CAppContext m_context;
    CMainFrame* m_frame = nullptr;
    std::unique_ptr<CTallonAutomationHost> m_host;
    CAutomationServer* m_server = nullptr;
    PromptHook m_prompt;
    std::vector<CTallonAppDocument*> m_documents;
    QStringList m_recent;
    PromImportRequest m_lastImport; // what File > Import from Prometheus asked last
    QWidget* m_splash = nullptr;
    QString m_lastError;
    bool m_automationStarted = false;
    bool m_splashShown = false;
    bool m_started = false; // start-up is over: notices show at once
    QStringList m_storeNotices;
};
