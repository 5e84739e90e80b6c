#pragma once
// The chart document as the frames see it: the few calls the main frame, the child frames and
// the channel bar make of a document, and the signals they follow. CChartWindowDocument
// implements it over the chart document and its views; the frames depend on nothing else of it.

#include "display/ChartSettings.h"
#include "objlib/ZynInterfaces.h"

#include <QObject>
#include <QString>

class QAction;
class QMenu;
class QWidget;

class CTallonAppDocument : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~CTallonAppDocument() override = default;

    virtual IZynChart* Chart() const = 0;
    virtual ChartSettings& Settings() = 0;
    virtual QString Title() const = 0;
    virtual QString PathName() const = 0;
    virtual bool IsModified() const = 0;
    virtual void SetModifiedFlag(bool modified) = 0;

    virtual bool OnNewDocument() = 0;
    virtual bool OnOpenDocument(const QString& path) = 0;
    virtual bool OnSaveDocument(const QString& path) = 0;

    // The chart page (tab 0) or the report page (tab 1) of a child frame.
    virtual QWidget* CreateView(int tab, QWidget* parent) = 0;
    // The view of this document that the user works in now (a child frame was activated or
    // changed its tab); commands of views go to it.
    virtual void ActivateView(QWidget* view) = 0;
    virtual void UpdateAllViews(int hint) = 0;
    virtual void SyncSelectedChannel() = 0;
    // The default record copied in (preferences applied to all windows).
    virtual void ApplySettings(bool all) = 0;
    // Commands of the document and its active view; false when neither handles `command`.
    virtual bool OnCommand(int command) = 0;
    // Runs the update handlers of the document and its active view (once before the frame asks
    // about single commands).
    virtual void UpdateCommandStates() = 0;
    // Copies the state of a document or view command to the frame's action: false when neither
    // knows it.
    virtual bool OnUpdateCommand(int command, QAction* action) = 0;
    // While the "Report Properties" sheet of this document runs: its report page then rebuilds on
    // every change the sheet applies.
    virtual void SetReportPropertiesOpen(bool open) = 0;
    // Prints the chart on the named printer (empty: the default one) without asking.
    virtual bool PrintDirect(const QString& printer) = 0;
    // The "Stop Event" submenu of the active chart page: its running events, or the placeholder.
    virtual void FillStopEventMenu(QMenu* menu) = 0;
    // Why the last open, save or print failed, naming the file ("Cannot open x.tlon: ...").
    virtual QString LastError() const = 0;

signals:
    void TitleChanged(const QString& title);
    void ModifiedChanged(bool modified);
    // A status-pane text; level 0 information, 1 warning, 2 error.
    void StatusMessage(const QString& text, int level);
    // The chart's channels or values changed: the channel bar refreshes when it shows it.
    void ChartChanged();
    // The channel bar should show this document (and refill its list when `refill`).
    void ShowInChannelBar(bool refill);
    // The channel bar's delete operation for its selected channel of this chart.
    void DeleteChannelRequested(const QString& chartId, const QString& channelId);
};
