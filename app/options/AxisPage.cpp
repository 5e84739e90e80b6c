#include "AxisPage.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {

using MarkField = std::uint8_t ChartSettings::*;
constexpr std::array<MarkField, 3> kXMarks = {&ChartSettings::XMinorTicks, &ChartSettings::XMajorTicks,
                                              &ChartSettings::XGridLines};
constexpr std::array<MarkField, 3> kYMarks = {&ChartSettings::YMinorTicks, &ChartSettings::YMajorTicks,
                                              &ChartSettings::YGridLines};

} // namespace

CAxisPage::CAxisPage(ChartSettings& working, std::shared_ptr<const CPreviewSample> sample, QWidget* parent)
    : COptionPage(tr("Axis"), parent), m_working(working) {
    const QString marks[] = {tr("Minor Ticks"), tr("Major Ticks"), tr("Grid Lines")};
    auto makeMarks = [&](const QString& title, const std::array<MarkField, 3>& fields,
                         std::array<QCheckBox*, 3>& boxes) {
        auto* group = new QGroupBox(title, this);
        auto* layout = new QVBoxLayout(group);
        for (std::size_t i = 0; i < 3; ++i) {
            boxes[i] = new QCheckBox(marks[i], group);
            boxes[i]->setChecked(m_working.*fields[i] != 0);
            layout->addWidget(boxes[i]);
            const MarkField field = fields[i];
            connect(boxes[i], &QCheckBox::toggled, this, [this, field](bool on) {
                m_working.*field = on ? 1 : 0;
                Changed();
            });
        }
        layout->addStretch(1);
        return group;
    };
    QGroupBox* xBox = makeMarks(tr("X-Axis Marks"), kXMarks, m_x);
    QGroupBox* yBox = makeMarks(tr("Y-Axis Marks"), kYMarks, m_y);

    auto* spacingBox = new QGroupBox(tr("Grid Spacing"), this);
    auto* spacingLayout = new QVBoxLayout(spacingBox);
    auto* spacing = new QButtonGroup(this);
    const QString names[] = {tr("Loose"), tr("Normal"), tr("Tight")};
    for (int i = 0; i < 3; ++i) {
        m_spacing[std::size_t(i)] = new QRadioButton(names[i], spacingBox);
        spacing->addButton(m_spacing[std::size_t(i)], i);
        spacingLayout->addWidget(m_spacing[std::size_t(i)]);
    }
    spacingLayout->addStretch(1);
    // A stored spacing outside the three (3 keeps the label sizes unchanged) checks none.
    if (working.xGridSpacing < 3) m_spacing[working.xGridSpacing]->setChecked(true);

    m_preview = new CChartPreview(CChartPreview::Kind::Chart, working, std::move(sample), this);
    m_preview->setObjectName(QStringLiteral("Preview"));

    auto* layout = new QGridLayout(this);
    layout->addWidget(xBox, 0, 0);
    layout->addWidget(yBox, 0, 1);
    layout->addWidget(spacingBox, 0, 2);
    layout->addWidget(m_preview, 1, 0, 1, 3);
    layout->setRowStretch(1, 1);

    connect(spacing, &QButtonGroup::idClicked, this, [this](int value) {
        m_working.xGridSpacing = std::uint32_t(value);
        m_working.yGridSpacing = std::uint32_t(value);
        Changed();
    });
}

void CAxisPage::Changed() {
    m_preview->update();
    emit changed();
}
