#pragma once
// The live previews of the option pages. CPreviewSample holds a small recording (two channels over
// three minutes) in a chart of its own; CChartPreview draws the sheet's working record with it:
// the chart through the chart renderer, or a report section box in the report colours and font,
// optionally as a printed page in an orientation with printer-friendly colours.

#include "display/ChartRenderInput.h"

#include "com/unknown.h"
#include "objlib/ZynInterfaces.h"

#include <QFrame>
#include <QImage>

#include <memory>

class CAppContext;
class QPainter;

class CPreviewSample {
public:
    static constexpr int kMinutes = 3;

    // Without the object library the sample has no channels; the previews then show axes only.
    explicit CPreviewSample(CAppContext& context);
    ~CPreviewSample();

    // The render input of the sample over `settings`.
    ChartRenderInput Input(ChartSettings& settings) const;
    double Start() const { return m_start; }
    double Span() const;
    int ChannelCount() const { return int(m_channels.size()); }

private:
    CComPtr<IZynChart> m_chart;
    std::vector<ChartChannelView> m_channels;
    double m_start = 0.0;
};

class CChartPreview : public QFrame {
    Q_OBJECT
public:
    enum class Kind { Chart, Report };
    // A page orientation of the print view (the print orientation codes): none draws no page.
    static constexpr int kNoPage = -1;

    CChartPreview(Kind kind, ChartSettings& working, std::shared_ptr<const CPreviewSample> sample,
                  QWidget* parent = nullptr);

    // Draws a printed page (0 landscape, 1 portrait, 2 printer default) with printer-friendly
    // colours when `friendly`.
    void SetPrintView(int orientation, bool friendly);
    // The picture as painted, for a person or a test to look at.
    QImage Render(QSize size) const;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void Paint(QPainter& painter, const QRect& area) const;
    void PaintContent(QPainter& painter, const QRect& area, ChartSettings& s) const;
    void PaintChart(QPainter& painter, const QRect& area, ChartSettings& s) const;
    void PaintReport(QPainter& painter, const QRect& area, ChartSettings& s) const;

    Kind m_kind;
    ChartSettings& m_working;
    std::shared_ptr<const CPreviewSample> m_sample;
    int m_orientation = kNoPage;
    bool m_friendly = false;
};
