#include "GridPage.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QRadioButton>
#include <QVBoxLayout>

#include <algorithm>

using namespace zyn::options;

CGridPage::CGridPage(ChartSettings& working, std::shared_ptr<const CPreviewSample> sample, QWidget* parent)
    : COptionPage(tr("Grid"), parent), m_working(working) {
    auto* colourBox = new QGroupBox(tr("Grid Color"), this);
    m_colours = new CColourChooser(
        PaletteKind::Chart, working,
        {&ChartSettings::ColorGrid, &ChartSettings::gridPaletteIndex, &ChartSettings::customGridColour},
        colourBox);
    m_autoColour = new QCheckBox(tr("Select grid color automatically"), colourBox);
    m_autoColour->setChecked(working.gridColourAuto != 0);
    m_colours->SetButtonsEnabled(!m_autoColour->isChecked());
    auto* colourLayout = new QVBoxLayout(colourBox);
    colourLayout->addWidget(m_colours);
    colourLayout->addWidget(m_autoColour);

    auto* tickBox = new QGroupBox(tr("Tick Mark Size"), this);
    auto* tickLayout = new QVBoxLayout(tickBox);
    auto* ticks = new QButtonGroup(this);
    const QString names[] = {tr("None"), tr("Small"), tr("Medium"), tr("Large")};
    for (int i = 0; i < 4; ++i) {
        m_ticks[std::size_t(i)] = new QRadioButton(names[i], tickBox);
        ticks->addButton(m_ticks[std::size_t(i)], i);
        tickLayout->addWidget(m_ticks[std::size_t(i)]);
    }
    tickLayout->addStretch(1);
    m_ticks[std::size_t(std::min<std::uint32_t>(working.TickSize, 3))]->setChecked(true);

    m_preview = new CChartPreview(CChartPreview::Kind::Chart, working, std::move(sample), this);
    m_preview->setObjectName(QStringLiteral("Preview"));

    auto* layout = new QGridLayout(this);
    layout->addWidget(colourBox, 0, 0);
    layout->addWidget(tickBox, 0, 1);
    layout->addWidget(m_preview, 1, 0, 1, 2);
    layout->setRowStretch(1, 1);

    connect(m_colours, &CColourChooser::changed, this, &CGridPage::Changed);
    connect(m_autoColour, &QCheckBox::toggled, this, [this](bool on) {
        m_working.gridColourAuto = on ? 1 : 0;
        m_colours->SetButtonsEnabled(!on);
        Changed();
    });
    connect(ticks, &QButtonGroup::idClicked, this, [this](int size) {
        m_working.TickSize = std::uint32_t(size);
        Changed();
    });
}

void CGridPage::Changed() {
    m_preview->update();
    emit changed();
}

void CGridPage::UpdateData() {
    m_colours->UpdateData();
}
