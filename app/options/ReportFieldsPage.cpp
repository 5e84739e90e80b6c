#include "ReportFieldsPage.h"

#include "resources/ZynStrings.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {

constexpr int kBitRole = Qt::UserRole;
constexpr int kHelpRole = Qt::UserRole + 1;

} // namespace

CReportFieldsPage::CReportFieldsPage(ChartSettings& working, const TemplateLoader& loader, QWidget* parent)
    : COptionPage(tr("Report Fields"), parent), m_working(working), m_masks(working.reportFieldMasks) {
    auto* sectionBox = new QGroupBox(tr("Report Section"), this);
    auto* sectionLayout = new QVBoxLayout(sectionBox);
    auto* sections = new QButtonGroup(this);
    const QString placeholders[] = {tr("Title"), tr("Chan"), tr("Evt"), tr("Cntr")};
    for (int i = 0; i < kSections; ++i) {
        m_radios[std::size_t(i)] = new QRadioButton(placeholders[i], sectionBox);
        sections->addButton(m_radios[std::size_t(i)], i);
        sectionLayout->addWidget(m_radios[std::size_t(i)]);
    }
    sectionLayout->addStretch(1);

    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("FieldList"));
    m_help = new QLabel(this);
    m_help->setObjectName(QStringLiteral("FieldHelp"));
    m_help->setWordWrap(true);
    m_help->setMinimumHeight(m_help->fontMetrics().height() * 3);
    m_help->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_error = new QLabel(LoadZynString(50108), this);
    m_error->setObjectName(QStringLiteral("TemplateError"));
    m_all = new QPushButton(tr("Select All"), this);
    m_none = new QPushButton(tr("Select None"), this);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_all);
    buttons->addWidget(m_none);
    buttons->addStretch(1);
    auto* layout = new QGridLayout(this);
    layout->addWidget(m_error, 0, 0, 1, 2);
    layout->addWidget(sectionBox, 1, 0);
    layout->addWidget(m_list, 1, 1);
    layout->addWidget(m_help, 2, 1);
    layout->addLayout(buttons, 3, 1);
    layout->setColumnStretch(1, 1);
    layout->setRowStretch(1, 1);

    if (auto loaded = loader ? loader() : LoadReportFieldSections()) m_sections = std::move(*loaded);
    m_loaded = int(m_sections.size()) >= kSections;
    m_error->setVisible(!m_loaded);
    if (!m_loaded) {
        // Without the template nothing on the page can work.
        for (QWidget* w : {static_cast<QWidget*>(sectionBox), static_cast<QWidget*>(m_list),
                           static_cast<QWidget*>(m_all), static_cast<QWidget*>(m_none)})
            w->setEnabled(false);
        return;
    }
    for (int i = 0; i < kSections; ++i)
        m_radios[std::size_t(i)]->setText(m_sections[std::size_t(i)].name);
    m_section = -1;
    ShowSection(0);

    connect(sections, &QButtonGroup::idClicked, this, &CReportFieldsPage::ShowSection);
    connect(m_list, &QListWidget::currentItemChanged, this, [this](QListWidgetItem* item) {
        m_help->setText(item ? item->data(kHelpRole).toString() : QString());
    });
    connect(m_list, &QListWidget::itemChanged, this, [this] { emit changed(); });
    connect(m_all, &QPushButton::clicked, this, &CReportFieldsPage::SelectAll);
    connect(m_none, &QPushButton::clicked, this, &CReportFieldsPage::SelectNone);
}

CReportFieldsPage::~CReportFieldsPage() = default;

void CReportFieldsPage::ShowSection(int section) {
    if (!m_loaded || section < 0 || section >= kSections) return;
    FoldChecks();
    m_section = section;
    m_radios[std::size_t(section)]->setChecked(true);
    const QSignalBlocker block(m_list);
    m_list->clear();
    const std::uint32_t mask = m_masks[std::size_t(section)];
    for (const ReportField& field : m_sections[std::size_t(section)].fields) {
        auto* item = new QListWidgetItem(field.desc, m_list);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        item->setCheckState((mask & field.bit) ? Qt::Checked : Qt::Unchecked);
        item->setData(kBitRole, field.bit);
        item->setData(kHelpRole, field.help);
    }
    m_help->clear();
}

// The shown section's checks into its mask: each listed row's bit set or cleared, every other bit
// kept.
void CReportFieldsPage::FoldChecks() {
    if (m_section < 0 || m_section >= kSections) return;
    std::uint32_t& mask = m_masks[std::size_t(m_section)];
    for (int i = 0; i < m_list->count(); ++i) {
        const QListWidgetItem* item = m_list->item(i);
        const std::uint32_t bit = item->data(kBitRole).toUInt();
        if (item->checkState() == Qt::Checked)
            mask |= bit;
        else
            mask &= ~bit;
    }
}

void CReportFieldsPage::SetAllChecks(bool checked) {
    for (int i = 0; i < m_list->count(); ++i)
        m_list->item(i)->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
}

void CReportFieldsPage::SelectAll() {
    SetAllChecks(true);
}

void CReportFieldsPage::SelectNone() {
    SetAllChecks(false);
}

std::array<std::uint32_t, CReportFieldsPage::kSections> CReportFieldsPage::Masks() {
    FoldChecks();
    return m_masks;
}

void CReportFieldsPage::UpdateData() {
    if (!m_loaded) return;
    m_working.reportFieldMasks = Masks();
}
