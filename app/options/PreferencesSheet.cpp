#include "PreferencesSheet.h"

#include "AxisPage.h"
#include "ChartPage.h"
#include "ChartPreview.h"
#include "DisplayPage.h"
#include "GeneralPage.h"
#include "GridPage.h"
#include "PrintPage.h"
#include "display/ChartFonts.h"
#include "document/AppContext.h"
#include "document/ZynMessageBox.h"
#include "resources/ZynStrings.h"

CPreferencesSheet::CPreferencesSheet(CAppContext& context, PreferencesHost host, QWidget* parent,
                                     const CReportFieldsPage::TemplateLoader& reportTemplate)
    : COptionSheet(QStringLiteral("Set Application Preferences"), parent), m_context(context),
      m_host(std::move(host)), m_sample(std::make_shared<CPreviewSample>(context)) {
    CopySettings(m_working, context.DefaultChartSettings());
    SetStatusSink(m_host.status);
    AddPage(new CDisplayPage(m_working, false));
    AddPage(new CChartPage(CChartPage::Variant::Chart, m_working, m_sample));
    AddPage(new CGridPage(m_working, m_sample));
    AddPage(new CAxisPage(m_working, m_sample));
    AddPage(new CChartPage(CChartPage::Variant::Report, m_working, m_sample));
    AddPage(new CPrintPage(m_working, m_sample));
    AddPage(new CReportFieldsPage(m_working, reportTemplate));
    AddPage(new CGeneralPage(context));
}

// The pages draw from the working record, a member: they go before it.
CPreferencesSheet::~CPreferencesSheet() {
    DeletePages();
}

void CPreferencesSheet::CommitWorking() {
    CopySettings(m_context.DefaultChartSettings(), m_working);
}

void CPreferencesSheet::OnOk() {
    if (!AnyApplied() || !m_host.chartWindowCount || m_host.chartWindowCount() < 1) return;
    if (!ZynAskYesNo(LoadZynString(50079))) return;
    if (m_host.applyDefaultsToAllWindows) m_host.applyDefaultsToAllWindows();
}

int RunPreferences(CAppContext& context, const PreferencesHost& host, QWidget* owner) {
    CPreferencesSheet sheet(context, host, owner);
    return sheet.exec();
}
