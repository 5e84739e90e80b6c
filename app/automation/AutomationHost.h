#pragma once
// What the automation objects ask of the program: chart windows, the frames and the status bar.
// The shell implements it; the automation layer knows the documents and nothing of the frames.

#include <QString>

#include <vector>

class CTallonChart;
struct IZynChart;

class IAutomationHost {
public:
    enum class FrameCommand { Maximize, Minimize, Restore };

    // A new chart window as the New command makes it; null when it cannot be made.
    virtual CTallonChart* NewChartWindow() = 0;
    // A new chart window over a chart that already exists (a loaded one).
    virtual CTallonChart* NewChartWindowFor(IZynChart* chart) = 0;
    // A chart file (".tlon", or ".csv" text) in a new window; null, with no question asked of
    // anyone, when it does not open.
    virtual CTallonChart* OpenChartWindow(const QString& path) = 0;
    // Writes the window's chart to `path` as the Save command does, without asking anyone.
    virtual bool SaveChartWindow(CTallonChart* doc, const QString& path) = 0;
    virtual void CloseChartWindow(CTallonChart* doc) = 0;
    // Repaints the window's pages (a changed display setting shows at once).
    virtual void RepaintChartWindow(CTallonChart* doc) = 0;
    // The open chart windows in the order they were made.
    virtual std::vector<CTallonChart*> ChartWindows() const = 0;
    virtual bool HasMainFrame() const = 0;

    virtual void ShowStatusText(const QString& text) = 0;
    virtual void CascadeWindows() = 0;
    virtual void TileWindows() = 0;
    // Posted, not done at once: the frame acts when the call that asked has returned.
    virtual void PostMainFrameCommand(FrameCommand command) = 0;
    virtual void PostChartFrameCommand(CTallonChart* doc, FrameCommand command) = 0;
    // Ends the program (it was started for automation and nothing holds it any more).
    virtual void Quit() = 0;

protected:
    ~IAutomationHost() = default;
};
