#include "ChartPropertySheet.h"

#include "AxisPage.h"
#include "ChannelText.h"
#include "ChartPage.h"
#include "ChartPreview.h"
#include "DisplayPage.h"
#include "GridPage.h"
#include "NotesPage.h"
#include "PrintPage.h"
#include "display/ChartFonts.h"
#include "document/CTallonChart.h"
#include "resources/ZynStrings.h"
#include "view/ChartView.h"

#include <QTabWidget>

CChartPropertySheet::CChartPropertySheet(Kind kind, CTallonChart& doc, QWidget* parent,
                                         std::optional<ViewState> view,
                                         const CReportFieldsPage::TemplateLoader& reportTemplate)
    : COptionSheet(kind == Kind::Chart ? QStringLiteral("Chart Properties") : LoadZynString(50096), parent),
      m_kind(kind), m_doc(&doc), m_sample(std::make_shared<CPreviewSample>(doc.Context())) {
    CopySettings(m_saved, doc.Settings());
    CopySettings(m_working, doc.Settings());
    m_savedComment = ChannelText(doc.Chart(), &IZynChart::get_Comment);
    if (view) {
        m_working.viewSpan = view->span;
        m_working.autoScroll = view->autoScroll ? 1 : 0;
    }
    SetStatusSink([this](const QString& text, int level) {
        if (m_doc) m_doc->ShowStatus(text, level);
    });
    connect(&doc, &QObject::destroyed, this, &QDialog::reject);
    if (m_kind == Kind::Chart) {
        AddPage(new CDisplayPage(m_working, true));
        AddPage(new CChartPage(CChartPage::Variant::Chart, m_working, m_sample));
        AddPage(new CGridPage(m_working, m_sample));
        AddPage(new CAxisPage(m_working, m_sample));
    } else {
        AddPage(new CChartPage(CChartPage::Variant::Report, m_working, m_sample));
        AddPage(new CReportFieldsPage(m_working, reportTemplate));
    }
    AddPage(new CPrintPage(m_working, m_sample));
    AddPage(new CNotesPage(doc.Chart()));
}

// The pages draw from the working record, a member: they go before it.
CChartPropertySheet::~CChartPropertySheet() {
    DeletePages();
}

void CChartPropertySheet::CommitWorking() {
    if (!m_doc) return;
    CopySettings(m_doc->Settings(), m_working);
    m_doc->ApplySettings(false);
}

void CChartPropertySheet::OnCancel() {
    if (!AnyApplied() || !m_doc) return;
    CopySettings(m_doc->Settings(), m_saved);
    if (IZynChart* chart = m_doc->Chart();
        chart && ChannelText(chart, &IZynChart::get_Comment) != m_savedComment)
        chart->put_Comment(ToBstr(m_savedComment));
    m_doc->ApplySettings(false);
    if (onReverted) onReverted();
    ShowStatus(LoadZynString(50082), 0);
}

int RunChartProperties(CTallonChart& doc, CTallonView* view, int page, QWidget* owner) {
    std::optional<CChartPropertySheet::ViewState> state;
    if (view) state = CChartPropertySheet::ViewState{view->TimeSpan(), view->AutoScroll()};
    CChartPropertySheet sheet(CChartPropertySheet::Kind::Chart, doc, owner, state);
    const QPointer<CTallonView> guard(view);
    if (view) {
        sheet.onReverted = [guard, state] {
            if (guard) guard->SetViewState(state->span, state->autoScroll);
        };
        view->SetPropertiesOpen(true);
    }
    sheet.SetActivePage(page);
    const int result = sheet.exec();
    if (guard) guard->SetPropertiesOpen(false);
    return result;
}

int RunReportProperties(CTallonChart& doc, const std::function<void(bool)>& setPropertiesOpen,
                        QWidget* owner) {
    CChartPropertySheet sheet(CChartPropertySheet::Kind::Report, doc, owner);
    if (setPropertiesOpen) setPropertiesOpen(true);
    const int result = sheet.exec();
    if (setPropertiesOpen) setPropertiesOpen(false);
    return result;
}
