#pragma once
// The "Axis" page: minor ticks, major ticks and grid lines of each axis, the label spacing of
// both axes, and a preview; every switch is stored as soon as it is clicked.

#include "ChartPreview.h"
#include "OptionPage.h"

#include <array>
#include <memory>

class QCheckBox;
class QRadioButton;

class CAxisPage : public COptionPage {
    Q_OBJECT
public:
    CAxisPage(ChartSettings& working, std::shared_ptr<const CPreviewSample> sample,
              QWidget* parent = nullptr);

    // Mark 0 minor ticks, 1 major ticks, 2 grid lines.
    QCheckBox* XCheck(int mark) const { return m_x.at(std::size_t(mark)); }
    QCheckBox* YCheck(int mark) const { return m_y.at(std::size_t(mark)); }
    // 0 "Loose", 1 "Normal", 2 "Tight".
    QRadioButton* SpacingRadio(int spacing) const { return m_spacing.at(std::size_t(spacing)); }
    CChartPreview* Preview() const { return m_preview; }

private:
    void Changed();

    ChartSettings& m_working;
    std::array<QCheckBox*, 3> m_x{};
    std::array<QCheckBox*, 3> m_y{};
    std::array<QRadioButton*, 3> m_spacing{};
    CChartPreview* m_preview = nullptr;
};
