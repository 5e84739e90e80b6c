#pragma once
// The shared application context: one per process. It holds the object factory and the one
// application object every document shares, the numbered application settings and the default
// chart settings record, and the flags that stop notifications during shutdown.

#include "ChartSettings.h"
#include "ZynInterfaces.h"
#include "com/unknown.h"

#include <map>

class CTallonAppContext {
public:
    static CTallonAppContext& Instance();

    // Set once the settings were saved at exit; numbered settings read as their defaults after.
    bool closed = false;
    // Set when the main frame's window is destroyed: no more notifications or broadcasts.
    bool mainFrameGone = false;

    // The shared application object, made through the object factory on first use. Null only
    // when the object library cannot be reached.
    IZynApp* App();

    int Setting(int number, int def) const;
    void SetSetting(int number, int value);
    ChartSettings& DefaultSettings() { return m_defaults; }

    // "ChartDefault" and "Prefs" under the user key "Settings".
    void Load();
    void Save();
    // Drops the application object and the factory (at exit, and between tests).
    void ReleaseObjects();
    // Back to a fresh state (tests).
    void Reset();

    // The default for a numbered setting when the store has none.
    static int DefaultFor(int number);

private:
    CComPtr<IZynObjFactory> m_factory;
    CComPtr<IZynApp> m_app;
    std::map<int, int> m_settings;
    ChartSettings m_defaults;
};

// Numbers of the application settings this part of the program reads.
namespace ZynSetting {
inline constexpr int SelectionBroadcast = 111; // selection changes reach every document
inline constexpr int RecentFileCount = 121;
inline constexpr int ExpertMode = 122; // no confirmation questions
inline constexpr int CounterDetail = 123;
inline constexpr int AddChannelUses = 125;
inline constexpr int StartupCount = 131;
inline constexpr int SeveralAutomationWindows = 140;
inline constexpr int ChartBackground = 10002; // the background of the last activated chart view
} // namespace ZynSetting
