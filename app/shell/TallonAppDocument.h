#pragma once
// The chart document as the frames see it: the few calls the main frame, the child frames and
// the channel bar make of a document. The chart document proper implements it; the frames
// depend on nothing else of it.

#include "ChartSettings.h"
#include "ZynInterfaces.h"

#include <QObject>
#include <QString>

class QAction;
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
    virtual void UpdateAllViews(int hint) = 0;
    virtual void OnChartNotify() = 0;
    virtual void SyncSelectedChannel() = 0;
    // The default record copied in (preferences applied to all windows).
    virtual void ApplySettings(bool all) = 0;
    // Commands of the document and its views; false when it does not handle `command`.
    virtual bool OnCommand(int command) = 0;
    // The update handler of a document command: false when the document does not know it.
    virtual bool OnUpdateCommand(int command, QAction* action) = 0;
    // Prints the chart on the named printer (empty: the default one) without asking.
    virtual bool PrintDirect(const QString& printer) = 0;

signals:
    void TitleChanged(const QString& title);
};
