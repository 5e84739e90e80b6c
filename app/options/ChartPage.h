#pragma once
// The "Chart" page: the chart's background colour, font and text colour, automatic text colour
// and auto-scroll, with a preview. Its report variant (caption "Report") edits the report's
// background, font and text colour with the report palette and has no auto-scroll.

#include "ChartPreview.h"
#include "ColourChooser.h"
#include "OptionPage.h"

#include <memory>

class QCheckBox;
class QPushButton;

class CChartPage : public COptionPage {
    Q_OBJECT
public:
    enum class Variant { Chart, Report };

    CChartPage(Variant variant, ChartSettings& working, std::shared_ptr<const CPreviewSample> sample,
               QWidget* parent = nullptr);

    void UpdateData() override;
    // What "Select Font..." does.
    void SelectFont();

    Variant PageVariant() const { return m_variant; }
    CColourChooser* Colours() const { return m_colours; }
    QPushButton* FontButton() const { return m_font; }
    QCheckBox* AutoColourCheck() const { return m_autoColour; }
    QCheckBox* AutoScrollCheck() const { return m_autoScroll; }
    CChartPreview* Preview() const { return m_preview; }

private:
    struct Fields;
    static const Fields& FieldsOf(Variant variant);
    void Changed();

    Variant m_variant;
    const Fields& m_fields;
    ChartSettings& m_working;
    CColourChooser* m_colours = nullptr;
    QPushButton* m_font = nullptr;
    QCheckBox* m_autoColour = nullptr;
    QCheckBox* m_autoScroll = nullptr;
    CChartPreview* m_preview = nullptr;
};
