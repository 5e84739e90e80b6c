#include "ChartPage.h"

#include "OptionDialogs.h"
#include "display/ChartFonts.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QPushButton>
#include <QVBoxLayout>

using namespace zyn::options;

// The record fields one variant edits.
struct CChartPage::Fields {
    QString caption;
    PaletteKind palette;
    ColourFields background;
    COLORREF ChartSettings::*textColour;
    std::uint8_t ChartSettings::*textAuto;
    QFont (*font)(ChartSettings&);
    void (*setFont)(ChartSettings&, const QFont&);
    bool autoScroll;
    CChartPreview::Kind preview;
};

const CChartPage::Fields& CChartPage::FieldsOf(Variant variant) {
    static const Fields chart = {
        QStringLiteral("Chart"),
        PaletteKind::Chart,
        {&ChartSettings::ColorBackGround, &ChartSettings::backgroundPaletteIndex,
         &ChartSettings::customBackgroundColour},
        &ChartSettings::ColorText,
        &ChartSettings::textColourAuto,
        &ChartFont,
        static_cast<void (*)(ChartSettings&, const QFont&)>(&SetChartFont),
        true,
        CChartPreview::Kind::Chart,
    };
    static const Fields report = {
        QStringLiteral("Report"),
        PaletteKind::Report,
        {&ChartSettings::reportBackgroundColour, &ChartSettings::reportBackgroundPaletteIndex,
         &ChartSettings::reportCustomColour},
        &ChartSettings::reportTextColour,
        &ChartSettings::reportTextColourAuto,
        &ReportFont,
        static_cast<void (*)(ChartSettings&, const QFont&)>(&SetReportFont),
        false,
        CChartPreview::Kind::Report,
    };
    return variant == Variant::Chart ? chart : report;
}

CChartPage::CChartPage(Variant variant, ChartSettings& working, std::shared_ptr<const CPreviewSample> sample,
                       QWidget* parent)
    : COptionPage(FieldsOf(variant).caption, parent), m_variant(variant), m_fields(FieldsOf(variant)),
      m_working(working) {
    auto* colourBox = new QGroupBox(tr("Background Color"), this);
    m_colours = new CColourChooser(m_fields.palette, working, m_fields.background, colourBox);
    auto* colourLayout = new QVBoxLayout(colourBox);
    colourLayout->addWidget(m_colours);

    m_font = new QPushButton(tr("Select Font..."), this);
    m_font->setObjectName(QStringLiteral("SelectFont"));
    m_autoColour = new QCheckBox(tr("Select color automatically"), this);
    m_autoColour->setChecked(working.*m_fields.textAuto != 0);
    m_autoScroll = new QCheckBox(tr("Auto Scroll"), this);
    m_autoScroll->setChecked(working.autoScroll != 0);
    m_autoScroll->setVisible(m_fields.autoScroll);

    auto* textBox = new QGroupBox(tr("Text"), this);
    auto* textLayout = new QVBoxLayout(textBox);
    textLayout->addWidget(m_font, 0, Qt::AlignLeft);
    textLayout->addWidget(m_autoColour);
    if (m_fields.autoScroll) textLayout->addWidget(m_autoScroll);
    textLayout->addStretch(1);

    m_preview = new CChartPreview(m_fields.preview, working, std::move(sample), this);
    m_preview->setObjectName(QStringLiteral("Preview"));

    auto* layout = new QGridLayout(this);
    layout->addWidget(colourBox, 0, 0);
    layout->addWidget(textBox, 0, 1);
    layout->addWidget(m_preview, 1, 0, 1, 2);
    layout->setRowStretch(1, 1);

    connect(m_colours, &CColourChooser::changed, this, &CChartPage::Changed);
    connect(m_font, &QPushButton::clicked, this, &CChartPage::SelectFont);
    connect(m_autoColour, &QCheckBox::toggled, this, [this](bool on) {
        m_working.*m_fields.textAuto = on ? 1 : 0;
        Changed();
    });
    connect(m_autoScroll, &QCheckBox::toggled, this, [this](bool on) {
        m_working.autoScroll = on ? 1 : 0;
        Changed();
    });
}

void CChartPage::SelectFont() {
    QFont font = m_fields.font(m_working);
    COLORREF colour = m_working.*m_fields.textColour;
    if (!Dialogs().chooseFont(this, font, colour)) return;
    m_fields.setFont(m_working, font);
    m_working.*m_fields.textColour = colour;
    Changed();
}

void CChartPage::Changed() {
    m_preview->update();
    emit changed();
}

void CChartPage::UpdateData() {
    m_colours->UpdateData();
}
