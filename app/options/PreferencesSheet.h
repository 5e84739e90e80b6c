#pragma once
// CPreferencesSheet: "Set Application Preferences", over the default chart settings record that
// every new chart copies (Display, Chart, Grid, Axis, Report, Print, Report Fields) and a few
// numbered application settings (General). OK after changes, with chart windows open, asks
// whether the new defaults should go to every open window too (50079).

#include "OptionSheet.h"
#include "ReportFieldsPage.h"
#include "display/ChartSettings.h"

#include <functional>
#include <memory>

class CAppContext;
class CPreviewSample;

// What the sheet needs of the program's windows.
struct PreferencesHost {
    std::function<int()> chartWindowCount;
    // Copies the default record into every open chart window and re-lays out its views.
    std::function<void()> applyDefaultsToAllWindows;
    COptionSheet::StatusSink status;
};

class CPreferencesSheet : public COptionSheet {
    Q_OBJECT
public:
    enum PageIndex {
        kDisplayPage = 0,
        kChartPage,
        kGridPage,
        kAxisPage,
        kReportPage,
        kPrintPage,
        kReportFieldsPage,
        kGeneralPage
    };

    CPreferencesSheet(CAppContext& context, PreferencesHost host, QWidget* parent,
                      const CReportFieldsPage::TemplateLoader& reportTemplate = {});
    ~CPreferencesSheet() override;

    ChartSettings& Working() { return m_working; }

protected:
    void CommitWorking() override;
    void OnOk() override;

private:
    CAppContext& m_context;
    PreferencesHost m_host;
    ChartSettings m_working;
    std::shared_ptr<CPreviewSample> m_sample;
};

int RunPreferences(CAppContext& context, const PreferencesHost& host, QWidget* owner);
