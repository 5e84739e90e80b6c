#pragma once
// The "Grid" page: the grid colour from the chart palette (or derived from the background), the
// tick mark size and a preview.

#include "ChartPreview.h"
#include "ColourChooser.h"
#include "OptionPage.h"

#include <array>
#include <memory>

class QCheckBox;
class QRadioButton;

class CGridPage : public COptionPage {
    Q_OBJECT
public:
    CGridPage(ChartSettings& working, std::shared_ptr<const CPreviewSample> sample,
              QWidget* parent = nullptr);

    void UpdateData() override;

    CColourChooser* Colours() const { return m_colours; }
    QCheckBox* AutoColourCheck() const { return m_autoColour; }
    // "None", "Small", "Medium", "Large".
    QRadioButton* TickRadio(int size) const { return m_ticks.at(std::size_t(size)); }
    CChartPreview* Preview() const { return m_preview; }

private:
    void Changed();

    ChartSettings& m_working;
    CColourChooser* m_colours = nullptr;
    QCheckBox* m_autoColour = nullptr;
    std::array<QRadioButton*, 4> m_ticks{};
    CChartPreview* m_preview = nullptr;
};
