#pragma once
// The chart document the program runs with until the full chart document joins it: one chart of
// the shared application object, its settings record, chart files and CSV through the chart file
// library, and a plain chart page drawn by the chart renderer. It polls the chart for changes
// once a second in place of the notification thread.

#include "ChartRenderer.h"
#include "TallonAppDocument.h"
#include "com/unknown.h"

#include <QPointer>
#include <QTimer>
#include <QWidget>

class CTallonApp;

class CTallonAppChartDocument : public CTallonAppDocument {
    Q_OBJECT
public:
    CTallonAppChartDocument(CTallonApp* app, QObject* parent);
    ~CTallonAppChartDocument() override;

    IZynChart* Chart() const override { return m_chart; }
    ChartSettings& Settings() override { return m_settings; }
    QString Title() const override;
    QString PathName() const override { return m_path; }
    bool IsModified() const override { return m_modified; }
    void SetModifiedFlag(bool modified) override { m_modified = modified; }
    bool OnNewDocument() override;
    bool OnOpenDocument(const QString& path) override;
    bool OnSaveDocument(const QString& path) override;
    QWidget* CreateView(int tab, QWidget* parent) override;
    void UpdateAllViews(int hint) override;
    void OnChartNotify() override;
    void SyncSelectedChannel() override {}
    void ApplySettings(bool all) override;
    bool OnCommand(int command) override;
    bool OnUpdateCommand(int command, QAction* action) override;
    bool PrintDirect(const QString& printer) override;

    // Replaces the chart (a loaded one) and refreshes.
    void AttachChart(IZynChart* chart);
    // What the renderer needs of this chart now.
    ChartRenderInput RenderInput();

private:
    bool OpenChartFile(const QString& path);
    bool SaveChartFile(const QString& path);

    CTallonApp* m_app;
    CComPtr<IZynChart> m_chart;
    ChartSettings m_settings;
    QString m_path;
    bool m_modified = false;
    double m_created = 0.0;
    QTimer m_poll;
    std::vector<QPointer<QWidget>> m_views;
};

// The chart page: the whole chart drawn by the renderer, newest data on the right.
class CTallonAppChartPage : public QWidget {
    Q_OBJECT
public:
    CTallonAppChartPage(CTallonAppChartDocument* doc, QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    CTallonAppChartDocument* m_doc;
    CChartRenderer m_renderer;
};
