#pragma once
// CAppContext: what every chart document of the process shares. The program makes one and hands it
// to each document and view; tests make their own.
//
// - the object factory and the one application object (`IZynApp`) made from it on first use;
// - the numbered application settings and the default chart settings record ("Prefs" and
//   "ChartDefault" under "Settings"; LoadFromRegistry at start-up, SaveToRegistry at exit);
// - the main-frame-gone flag: once set, chart notifications are no longer delivered;
// - the application lock: every chart document and every automation application object holds one
//   while it lives, and a program started for automation may end when the last is let go;
// - what the channel bar shows and highlights (written by the shell, read by documents and views);
// - the user-interface hooks: the keyboard state, beeps and the counter browser. They default to
//   the real ones; tests replace them. (Message boxes and questions go through ZynMessageBox.)
// - the clock of the program's timed rules (the splash, press and hold, highlight expiry); the
//   system's by default, a manual one in tests.

#include "CounterBrowser.h"
#include "NumberedSettings.h"
#include "display/ChartSettings.h"

#include "com/unknown.h"
#include "objlib/ZynInterfaces.h"
#include "sync/clock.h"

#include <QPageLayout>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

struct CUiHooks {
    std::function<Qt::KeyboardModifiers()> keyboardModifiers;
    std::function<void(int hz, int ms)> beep;
    // Runs the counter browser modally; the config's callback receives each batch of paths.
    std::function<void(QWidget* owner, CounterBrowseConfig& config)> browseCounters;

    // The hooks of the real program: the application's keyboard state and beep, and the
    // CCounterBrowser dialog.
    static CUiHooks Interactive();
};

// The channel bar's selection and highlight, as identifier texts (empty = none).
struct CChannelBarState {
    QString selectedChart, selectedChannel;
    QString highlightedChart, highlightedChannel;
    QString shownChart; // the chart whose channels the bar lists
};

class CAppContext {
public:
    CAppContext();
    ~CAppContext();
    CAppContext(const CAppContext&) = delete;
    CAppContext& operator=(const CAppContext&) = delete;

    // The shared application object, made on first use through the class registry. Null when the
    // object library cannot be used.
    CComPtr<IZynApp> App();
    // A chart of its own from the object factory, in no application's chart list (the option
    // pages draw their previews from one). Null when the object library cannot be reached.
    CComPtr<IZynChart> NewDetachedChart();

    // Makes the process create its objects from the object library that belongs to the program
    // (beside it, or installed with it), registering it when the settings store names none, a
    // missing file or another copy. The first App() of the process does it; start-up may do it
    // sooner. Returns what to tell the user when another copy was displaced (also written to
    // standard error), else an empty text.
    static QString UseObjectLibrary();

    CNumberedSettings& Settings() { return m_settings; }
    const CNumberedSettings& Settings() const { return m_settings; }
    // The record every new document copies; its fonts are live.
    ChartSettings& DefaultChartSettings() { return m_defaults; }

    void LoadFromRegistry();
    void SaveToRegistry();
    // After the settings were written at exit: releases the objects and closes the settings.
    void Close();

    // The application lock. `whenUnlocked` runs (on the releasing thread) each time the count
    // drops to zero.
    void LockApp() { m_appLocks.fetch_add(1); }
    void UnlockApp();
    int AppLocks() const { return m_appLocks.load(); }
    std::function<void()> whenUnlocked;

    bool MainFrameGone() const { return m_mainFrameGone->load(); }
    void SetMainFrameGone(bool gone) { m_mainFrameGone->store(gone); }
    // Shared with notification threads, which may outlive a document that stopped waiting for them.
    std::shared_ptr<std::atomic<bool>> MainFrameGoneFlag() const { return m_mainFrameGone; }

    // The main frame's window: owner of dialogs and message boxes. May be null.
    QPointer<QWidget> mainWindow;
    CChannelBarState channelBar;
    CUiHooks ui;
    zyn::sync::IClock* clock = &zyn::sync::SystemClock();
    // The page chosen in Print Setup, used by the next print; none until the user chose one.
    std::optional<QPageLayout> printPageLayout;
    QString printerName; // empty: the default printer

    bool ShiftDown() const;
    // Shift held or expert mode (setting 122): no confirmation prompts.
    bool NoPrompts() const;

private:
    CComPtr<IZynObjFactory> m_factory;
    CComPtr<IZynApp> m_app;
    CNumberedSettings m_settings;
    ChartSettings m_defaults;
    std::shared_ptr<std::atomic<bool>> m_mainFrameGone = std::make_shared<std::atomic<bool>>(false);
    std::atomic<int> m_appLocks{0};
};
