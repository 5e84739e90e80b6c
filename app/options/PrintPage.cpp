#include "PrintPage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include <algorithm>

CPrintPage::CPrintPage(ChartSettings& working, std::shared_ptr<const CPreviewSample> sample, QWidget* parent)
    : COptionPage(tr("Print"), parent), m_working(working) {
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(MakeGroup(tr("Chart"), CChartPreview::Kind::Chart, working.chartPrintOrientation,
                                working.chartPrinterFriendly, sample, m_chart));
    layout->addWidget(MakeGroup(tr("Report"), CChartPreview::Kind::Report, working.reportPrintOrientation,
                                working.reportPrinterFriendly, sample, m_report));
}

QWidget* CPrintPage::MakeGroup(const QString& title, CChartPreview::Kind kind, std::uint32_t orientation,
                               std::uint8_t friendly, std::shared_ptr<const CPreviewSample> sample,
                               Group& group) {
    auto* box = new QGroupBox(title, this);
    group.orientation = new QComboBox(box);
    group.orientation->setObjectName(title + QStringLiteral("Orientation"));
    group.orientation->addItems({tr("Landscape"), tr("Portrait"), tr("Printer Default")});
    group.orientation->setCurrentIndex(int(std::min<std::uint32_t>(orientation, 2)));
    group.friendly = new QCheckBox(tr("Use printer friendly colors"), box);
    group.friendly->setChecked(friendly != 0);
    group.preview = new CChartPreview(kind, m_working, std::move(sample), box);
    group.preview->setObjectName(title + QStringLiteral("Preview"));
    group.preview->setFrameShape(QFrame::NoFrame);

    auto* form = new QFormLayout;
    form->addRow(tr("Orientation"), group.orientation);
    auto* layout = new QVBoxLayout(box);
    layout->addLayout(form);
    layout->addWidget(group.friendly);
    layout->addWidget(group.preview, 1);
    ShowPage(group);

    const Group* g = &group;
    connect(group.orientation, &QComboBox::currentIndexChanged, this, [this, g] {
        ShowPage(*g);
        emit changed();
    });
    connect(group.friendly, &QCheckBox::toggled, this, [this, g] {
        ShowPage(*g);
        emit changed();
    });
    return box;
}

void CPrintPage::ShowPage(const Group& group) {
    group.preview->SetPrintView(group.orientation->currentIndex(), group.friendly->isChecked());
}

void CPrintPage::UpdateData() {
    m_working.chartPrintOrientation = std::uint32_t(m_chart.orientation->currentIndex());
    m_working.chartPrinterFriendly = m_chart.friendly->isChecked() ? 1 : 0;
    m_working.reportPrintOrientation = std::uint32_t(m_report.orientation->currentIndex());
    m_working.reportPrinterFriendly = m_report.friendly->isChecked() ? 1 : 0;
}
