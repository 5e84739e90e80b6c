#pragma once
// CChartWindowDocument: a chart window's document as the frames see it, over the chart document
// (CTallonChart) and its chart pages (CTallonView). It forwards the document's and the views'
// signals to the frames, runs the frames' commands on the document's and the active view's own
// actions, and reads and writes chart files and CSV.
//
// The chart file functions below work on a bare CTallonChart as well, so that the headless
// command-line modes load charts exactly as a window does.

#include "TallonAppDocument.h"

#include <QPointer>

#include <string>
#include <vector>

class CAppContext;
class CClipboardCommands;
class CReportView;
class CTallonChart;
class CTallonView;

namespace zyn::shell {

// What opening or saving a file found, for the user's message.
struct FileOutcome {
    std::string error;              // why it failed, in words for the user; empty on success
    std::string partial;            // read only in part (the chart holds what was read): why
    std::vector<std::string> notes; // what the user should know of a save that worked
};

// Reads a ".tlon" file into the document: the chart through the application object's LoadChart,
// the settings record over the document's. False, with the document unchanged, when the file is
// not a regular file, unreadable, malformed (times that are not dates included) or its chart does
// not load; the outcome's error then says which. A chart whose records were read only in part is
// opened with what was read, and the outcome says so. `path` is bytes, as the file system spells
// the name.
[[nodiscard]] bool LoadChartFile(CTallonChart& doc, const std::string& path, FileOutcome* outcome = nullptr);
[[nodiscard]] bool LoadChartFile(CTallonChart& doc, const QString& path, FileOutcome* outcome = nullptr);
// Writes the document as a ".tlon" file (the chart through SaveChart) with the safe saver; the
// chart takes its name from the file. False, with the reason, when the chart cannot be saved or
// the file cannot be written.
[[nodiscard]] bool SaveChartFile(CTallonChart& doc, const std::string& path, FileOutcome* outcome = nullptr);
[[nodiscard]] bool SaveChartFile(CTallonChart& doc, const QString& path, FileOutcome* outcome = nullptr);
// A path whose extension is "csv" in any case.
bool IsCsvPath(const QString& path);
// A name from the user interface as the file system spells it.
std::string FileNameBytes(const QString& path);
// Why the file at `path` (bytes) cannot be read at all, in words for the user ("the file does not
// exist"); `otherwise` when it looks readable.
std::string WhyUnreadable(const std::string& path, const std::string& otherwise);

} // namespace zyn::shell

class CChartWindowDocument : public CTallonAppDocument {
    Q_OBJECT
public:
    CChartWindowDocument(CAppContext& context, QObject* parent);
    ~CChartWindowDocument() override;

    CTallonChart* Document() const { return m_doc; }
    // The chart page the frames' commands go to (the last activated one), or null.
    CTallonView* ActiveView() const;
    // The report page when it is the page the user works in, else null.
    CReportView* ActiveReportView() const;

    IZynChart* Chart() const override;
    ChartSettings& Settings() override;
    QString Title() const override;
    QString PathName() const override { return m_path; }
    bool IsModified() const override;
    void SetModifiedFlag(bool modified) override;
    bool OnNewDocument() override;
    bool OnOpenDocument(const QString& path) override;
    bool OnSaveDocument(const QString& path) override;
    QWidget* CreateView(int tab, QWidget* parent) override;
    void ActivateView(QWidget* view) override;
    void UpdateAllViews(int hint) override;
    void SyncSelectedChannel() override;
    void ApplySettings(bool all) override;
    bool OnCommand(int command) override;
    void UpdateCommandStates() override;
    bool OnUpdateCommand(int command, QAction* action) override;
    void SetReportPropertiesOpen(bool open) override;
    bool PrintDirect(const QString& printer) override;
    void FillStopEventMenu(QMenu* menu) override;
    QString LastError() const override { return m_lastError; }

    // While not interactive (automation works on the window), a file that does not open or save
    // is reported on the status bar instead of in a message box that would wait for a user.
    void SetInteractive(bool interactive) { m_interactive = interactive; }
    // Repaints the chart pages (a display setting changed without a views update).
    void Repaint();

private:
    // Writes the chart view's zoom span and time mode into the record a chart file stores.
    void RecordViewSettings();
    void Fail(const QString& what, const QString& why);
    // The message box of a failed open or save, shown only to a user (Fail names the reason on the
    // status pane either way).
    void ReportFailure(int textId);
    QAction* CommandAction(int command) const;
    // The chart document's own command, else the clipboard's.
    QAction* DocumentAction(int command) const;

    CAppContext& m_context;
    CTallonChart* m_doc;             // a child: deleted (its notification thread joined) with this object
    CClipboardCommands* m_clipboard; // a child
    QString m_path;
    QString m_lastError;
    std::vector<QPointer<CTallonView>> m_views;
    QPointer<CTallonView> m_active;
    bool m_interactive = true;
    QPointer<CReportView> m_activeReport; // set while the report page is the active view
};
