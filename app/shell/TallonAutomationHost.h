#pragma once
// CTallonAutomationHost: the automation server's view of the program — chart windows made, opened,
// saved and closed through the application as its commands do, but without asking anyone
// anything (a failure is a result for the script and a status text, never a modal box).

#include "automation/AutomationHost.h"

class CChartWindowDocument;
class CTallonApp;

class CTallonAutomationHost final : public IAutomationHost {
public:
    explicit CTallonAutomationHost(CTallonApp& app) : m_app(app) {}

    CTallonChart* NewChartWindow() override;
    CTallonChart* NewChartWindowFor(IZynChart* chart) override;
    CTallonChart* OpenChartWindow(const QString& path) override;
    bool SaveChartWindow(CTallonChart* doc, const QString& path) override;
    void CloseChartWindow(CTallonChart* doc) override;
    void RepaintChartWindow(CTallonChart* doc) override;
    std::vector<CTallonChart*> ChartWindows() const override;
    bool HasMainFrame() const override;
    void ShowStatusText(const QString& text) override;
    void CascadeWindows() override;
    void TileWindows() override;
    void PostMainFrameCommand(FrameCommand command) override;
    void PostChartFrameCommand(CTallonChart* doc, FrameCommand command) override;
    void Quit() override;

private:
    CChartWindowDocument* WindowOf(CTallonChart* doc) const;

    CTallonApp& m_app;
};
