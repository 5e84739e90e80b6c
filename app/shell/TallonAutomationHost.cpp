#include "TallonAutomationHost.h"

#include "ChartWindowDocument.h"
#include "ChildFrame.h"
#include "MainFrame.h"
#include "TallonApp.h"
#include "document/CTallonChart.h"

#include <QCoreApplication>
#include <QMdiArea>
#include <QWidget>

namespace {

void Apply(QWidget* window, IAutomationHost::FrameCommand command) {
    switch (command) {
    case IAutomationHost::FrameCommand::Maximize:
        window->showMaximized();
        break;
    case IAutomationHost::FrameCommand::Minimize:
        window->showMinimized();
        break;
    case IAutomationHost::FrameCommand::Restore:
        window->showNormal();
        break;
    }
}

void Post(QWidget* window, IAutomationHost::FrameCommand command) {
    if (!window) return;
    QMetaObject::invokeMethod(
        window, [window, command] { Apply(window, command); }, Qt::QueuedConnection);
}

} // namespace

CChartWindowDocument* CTallonAutomationHost::WindowOf(CTallonChart* doc) const {
    for (CTallonAppDocument* d : m_app.Documents())
        if (auto* w = qobject_cast<CChartWindowDocument*>(d); w && w->Document() == doc) return w;
    return nullptr;
}

CTallonChart* CTallonAutomationHost::NewChartWindow() {
    auto* w = qobject_cast<CChartWindowDocument*>(m_app.NewWindow(nullptr));
    return w ? w->Document() : nullptr;
}

CTallonChart* CTallonAutomationHost::NewChartWindowFor(IZynChart* chart) {
    auto* w = qobject_cast<CChartWindowDocument*>(m_app.NewWindow(chart));
    return w ? w->Document() : nullptr;
}

CTallonChart* CTallonAutomationHost::OpenChartWindow(const QString& path) {
    auto* w = qobject_cast<CChartWindowDocument*>(m_app.OpenWindow(path));
    return w ? w->Document() : nullptr;
}

bool CTallonAutomationHost::SaveChartWindow(CTallonChart* doc, const QString& path) {
    CChartWindowDocument* w = WindowOf(doc);
    if (!w) return false;
    w->SetInteractive(false);
    const bool saved = w->OnSaveDocument(path);
    w->SetInteractive(true);
    if (saved) m_app.AddToRecentFiles(path);
    return saved;
}

void CTallonAutomationHost::CloseChartWindow(CTallonChart* doc) {
    if (CChartWindowDocument* w = WindowOf(doc)) m_app.CloseDocument(w);
}

void CTallonAutomationHost::RepaintChartWindow(CTallonChart* doc) {
    if (CChartWindowDocument* w = WindowOf(doc)) w->Repaint();
}

std::vector<CTallonChart*> CTallonAutomationHost::ChartWindows() const {
    std::vector<CTallonChart*> out;
    for (CTallonAppDocument* d : m_app.Documents())
        if (auto* w = qobject_cast<CChartWindowDocument*>(d)) out.push_back(w->Document());
    return out;
}

bool CTallonAutomationHost::HasMainFrame() const {
    return m_app.MainFrame() != nullptr;
}

void CTallonAutomationHost::ShowStatusText(const QString& text) {
    if (CMainFrame* frame = m_app.MainFrame()) frame->ShowStatusMessage(text, 0);
}

void CTallonAutomationHost::CascadeWindows() {
    if (CMainFrame* frame = m_app.MainFrame()) frame->CascadeWindows();
}

void CTallonAutomationHost::TileWindows() {
    if (CMainFrame* frame = m_app.MainFrame()) frame->TileWindows();
}

void CTallonAutomationHost::PostMainFrameCommand(FrameCommand command) {
    Post(m_app.MainFrame(), command);
}

void CTallonAutomationHost::PostChartFrameCommand(CTallonChart* doc, FrameCommand command) {
    CChartWindowDocument* w = WindowOf(doc);
    CMainFrame* frame = m_app.MainFrame();
    if (!w || !frame) return;
    // The frame of the document's first view.
    for (QMdiSubWindow* sub : frame->MdiArea()->subWindowList()) {
        if (auto* child = qobject_cast<CChildFrame*>(sub); child && child->Document() == w) {
            Post(child, command);
            return;
        }
    }
}

void CTallonAutomationHost::Quit() {
    QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit, Qt::QueuedConnection);
}
