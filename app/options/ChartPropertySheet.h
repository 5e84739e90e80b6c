#pragma once
// CChartPropertySheet: "Chart Properties" (Display, Chart, Grid, Axis, Print, Notes) and "Report
// Properties" (the report variant of Chart, Report Fields, Print, Notes) of one chart document.
// The pages edit a working copy of the document's settings record; Apply copies it into the
// document's record and updates its views. Cancel after an Apply puts back the record (and the
// chart's comment) as they were when the sheet opened and says so in the status bar (50082);
// Cancel alone changes nothing.
//
// How to use (the shell, from a view's properties request):
//   RunChartProperties(doc, view, page, owner);      // the chart view's sheet
//   RunReportProperties(doc, setPropertiesOpen, owner); // the report view's sheet

#include "OptionSheet.h"
#include "ReportFieldsPage.h"
#include "display/ChartSettings.h"

#include <QPointer>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class CPreviewSample;
class CTallonChart;
class CTallonView;

class CChartPropertySheet : public COptionSheet {
    Q_OBJECT
public:
    enum class Kind { Chart, Report };
    // Pages of the chart sheet, in order.
    enum PageIndex { kDisplayPage = 0, kChartPage, kGridPage, kAxisPage, kPrintPage, kNotesPage };

    // What the chart view shows now; the Display and Chart pages start from it, since a view's
    // zoom and auto-scroll reach the record only when applied.
    struct ViewState {
        double span = 0.0;
        bool autoScroll = true;
    };

    CChartPropertySheet(Kind kind, CTallonChart& doc, QWidget* parent, std::optional<ViewState> view = {},
                        const CReportFieldsPage::TemplateLoader& reportTemplate = {});
    ~CChartPropertySheet() override;

    Kind SheetKind() const { return m_kind; }
    ChartSettings& Working() { return m_working; }
    const ChartSettings& Saved() const { return m_saved; }
    // Called after a Cancel has put the saved record back.
    std::function<void()> onReverted;

protected:
    void CommitWorking() override;
    void OnCancel() override;

private:
    Kind m_kind;
    // A window closed by automation while its sheet runs takes the sheet with it.
    QPointer<CTallonChart> m_doc;
    ChartSettings m_saved;
    ChartSettings m_working;
    QString m_savedComment;
    std::shared_ptr<CPreviewSample> m_sample;
};

// Runs the chart's "Chart Properties" sheet at `page` (clamped) for `view` (may be null), with the
// view's properties-open flag set while it runs. The dialog's result; a sheet whose document goes
// away while it runs closes as cancelled.
int RunChartProperties(CTallonChart& doc, CTallonView* view, int page, QWidget* owner);
// Runs the chart's "Report Properties" sheet; `setPropertiesOpen` is told when it opens and closes.
int RunReportProperties(CTallonChart& doc, const std::function<void(bool)>& setPropertiesOpen,
                        QWidget* owner);
