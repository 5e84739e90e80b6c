#pragma once
// CMainFrame: the program's main window. Chart windows live in its MDI area; it carries the tool
// bar, the channel bar and the status bar with the fading message pane, keeps every command as an
// action by its number, and is the hub between documents: chart notifications, channel selection
// and highlighting, and the start-up tips.

#include "HelpWindow.h"
#include "Tips.h"
#include "objlib/ZynInterfaces.h"
#include "resources/ZynMenus.h"

#include <QHash>
#include <QMainWindow>
#include <QPointer>
#include <QSize>
#include <QTimer>

#include <cstdint>

class CAppContext;
class CChannelBar;
class CChildFrame;
class CStatusPane;
class CTallonApp;
class CTallonAppDocument;
class QMdiArea;
class QMenu;
class QToolBar;
class QToolButton;

class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    // A highlight older than this is cleared by the timer.
    static constexpr std::uint64_t kHighlightMs = 2000;
    // The first window's size where the screen has room for it.
    static constexpr QSize kPreferredSize{1000, 700};

    explicit CMainFrame(CTallonApp* app);
    ~CMainFrame() override;

    QAction* Action(int command) const;
    // Runs a command as a menu or button would.
    void OnCommand(int command);
    // The update handlers: enabling, checking and texts of every action.
    void UpdateCommands();
    // The menu bar for the active view (128, 129 or 150).
    int CurrentMenuId() const { return m_menuId; }
    void SetMenuResource(int id);

    void ShowStatusMessage(const QString& text, int level = 0);
    void ShowStatusMessage(int textId, int level = 0);
    void ChannelBarShowDocument(CTallonAppDocument* doc, bool force);
    void ChannelBarChartChanged(IZynChart* chart);
    void SetChannelBarRefreshRequest() { m_channelBarRefresh = true; }
    void SelectChannel(const QString& chartId, const QString& channelId);
    void HighlightChannel(const QString& chartId, const QString& channelId);
    // The selection and highlight live in the shared context, where documents and views read them.
    QString SelectedChartId() const;
    QString SelectedChannelId() const;
    QString HighlightedChartId() const;
    QString HighlightedChannelId() const;

    CAppContext& Context() const;
    // Follows a new document's signals: status texts, channel bar, channel deletion, properties.
    void ConnectDocument(CTallonAppDocument* doc);
    // "Set Application Preferences" (command 32783).
    void ShowPreferences();
    // The about box, and the version text in the status bar.
    void ShowAbout();
    // The "Stop Event" submenu for the active chart window.
    void FillStopEventMenu(QMenu* menu);
    // The start-up tasks (message 0x0403): at most one tip balloon.
    void RunStartupTasks();
    void TileWindows();
    void CascadeWindows();

    QMdiArea* MdiArea() const { return m_mdi; }
    CChannelBar* ChannelBar() const { return m_channelBar; }
    CStatusPane* StatusPane() const { return m_statusPane; }
    QToolBar* ToolBar() const { return m_toolBar; }
    QToolButton* ToolButton(int index) const;
    CChildFrame* ActiveChild() const;
    CTallonAppDocument* ActiveDocument() const;
    CTipBalloon* Tip() const { return m_tip; }
    void AddChildFrame(CChildFrame* child);
    // The 500 ms timer's work.
    void OnTimer();

    // Help: the page of `context` (its low 16 bits name a window or a command) in the help window;
    // false, after telling the user, when no page can be shown.
    bool ShowHelp(std::uint32_t context);
    // The help context of the active window: the chart page, the report page or the frame itself.
    std::uint32_t ActiveHelpContext() const;
    // Context help (Shift+F1): the next click on a command or a window opens its page; Esc cancels.
    void EnterContextHelpMode();
    bool InContextHelpMode() const { return m_contextHelp; }
    CHelpWindow* HelpWindow() const { return m_help; }

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    // Chart and CSV files dropped from a file manager open as files of the Open dialog do.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void CreateActions();
    QMenu* BuildMenu(const std::vector<ZynMenuItem>& items, QMenu* menu);
    void FillRecentFiles(QMenu* menu);
    void CreateToolBar();
    void CreateStatusBar();
    void FitToScreen();
    void OnActiveChildChanged();
    bool HandleDocumentCommand(int command);
    // Save as Script (the active chart) and Save All as Script.
    void SaveAsScript(bool activeChartOnly);

    CTallonApp* m_app;
    QMdiArea* m_mdi = nullptr;
    QToolBar* m_toolBar = nullptr;
    CChannelBar* m_channelBar = nullptr;
    CStatusPane* m_statusPane = nullptr;
    QHash<int, QAction*> m_actions;
    int m_menuId = 0;
    QTimer m_timer;
    std::uint64_t m_highlightTick = 0; // the context clock's tick when the highlight was last set
    bool m_channelBarRefresh = false;
    QPointer<CTipBalloon> m_tip;
    QPointer<CChildFrame> m_lastActive;
    QPointer<CHelpWindow> m_help;
    bool m_contextHelp = false;
};
