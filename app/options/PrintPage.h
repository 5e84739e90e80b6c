#pragma once
// The "Print" page: the orientation and printer-friendly colours of the printed chart and of the
// printed report, each with a picture of its page.

#include "ChartPreview.h"
#include "OptionPage.h"

#include <memory>

class QCheckBox;
class QComboBox;

class CPrintPage : public COptionPage {
    Q_OBJECT
public:
    CPrintPage(ChartSettings& working, std::shared_ptr<const CPreviewSample> sample,
               QWidget* parent = nullptr);

    void UpdateData() override;

    QComboBox* ChartOrientation() const { return m_chart.orientation; }
    QCheckBox* ChartFriendly() const { return m_chart.friendly; }
    QComboBox* ReportOrientation() const { return m_report.orientation; }
    QCheckBox* ReportFriendly() const { return m_report.friendly; }
    CChartPreview* ChartPreview() const { return m_chart.preview; }
    CChartPreview* ReportPreview() const { return m_report.preview; }

private:
    struct Group {
        QComboBox* orientation = nullptr;
        QCheckBox* friendly = nullptr;
        CChartPreview* preview = nullptr;
    };
    QWidget* MakeGroup(const QString& title, CChartPreview::Kind kind, std::uint32_t orientation,
                       std::uint8_t friendly, std::shared_ptr<const CPreviewSample> sample, Group& group);
    static void ShowPage(const Group& group);

    ChartSettings& m_working;
    Group m_chart;
    Group m_report;
};
