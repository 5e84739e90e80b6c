#include "GeneralPage.h"

#include "document/AppContext.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>

namespace {
constexpr int kAllCounters = 3;
}

CGeneralPage::CGeneralPage(CAppContext& context, QWidget* parent)
    : COptionPage(tr("General"), parent), m_context(context) {
    const CNumberedSettings& settings = context.Settings();
    m_level = int(std::min<std::uint32_t>(settings.Get(CNumberedSettings::kCounterDetail), kAllCounters));

    auto* detailBox = new QGroupBox(tr("Counter Detail"), this);
    auto* detailLayout = new QVBoxLayout(detailBox);
    auto* detail = new QButtonGroup(this);
    const QString names[] = {tr("Low (Basic Counters)"), tr("Medium (Common Counters)"),
                             tr("High (All standard counters)"), tr("All (Includes low level counters)")};
    for (int i = 0; i <= kAllCounters; ++i) {
        m_detail[std::size_t(i)] = new QRadioButton(names[i], detailBox);
        detail->addButton(m_detail[std::size_t(i)], i);
        detailLayout->addWidget(m_detail[std::size_t(i)]);
    }
    m_note = new QLabel(tr("Note: Some systems are not compatable with this selection and cannot collect low "
                           "level counter data."),
                        detailBox);
    m_note->setWordWrap(true);
    detailLayout->addWidget(m_note);
    m_detail[std::size_t(m_level)]->setChecked(true);
    m_note->setVisible(m_level == kAllCounters);

    m_expert = new QCheckBox(tr("Expert (No prompt dialogs)"), this);
    m_expert->setChecked(settings.Get(CNumberedSettings::kExpertMode) != 0);
    m_noFades = new QCheckBox(tr("Disable window fade effects"), this);
    m_noFades->setChecked(settings.Get(CNumberedSettings::kDisableFades) != 0);
    m_multiple = new QCheckBox(tr("Multiple automation windows"), this);
    m_multiple->setChecked(settings.Get(CNumberedSettings::kMultipleAutomation) != 0);
    m_recent = new QSpinBox(this);
    m_recent->setObjectName(QStringLiteral("RecentFiles"));
    m_recent->setRange(kMinRecentFiles, kMaxRecentFiles);
    m_recent->setValue(std::clamp(
        int(std::min<std::uint32_t>(settings.Get(CNumberedSettings::kRecentFileCount), kMaxRecentFiles)),
        kMinRecentFiles, kMaxRecentFiles));
    auto* recentRow = new QFormLayout;
    recentRow->addRow(tr("Recent file history size"), m_recent);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(detailBox);
    layout->addWidget(m_expert);
    layout->addWidget(m_noFades);
    layout->addWidget(m_multiple);
    layout->addLayout(recentRow);
    layout->addStretch(1);

    connect(detail, &QButtonGroup::idClicked, this, &CGeneralPage::ChooseDetail);
    for (QCheckBox* box : {m_expert, m_noFades, m_multiple})
        connect(box, &QCheckBox::toggled, this, &COptionPage::changed);
    connect(m_recent, &QSpinBox::valueChanged, this, &COptionPage::changed);
}

void CGeneralPage::ChooseDetail(int level) {
    m_level = std::clamp(level, 0, kAllCounters);
    m_detail[std::size_t(m_level)]->setChecked(true);
    if (m_level == kAllCounters && m_context.ui.beep) m_context.ui.beep(500, 50);
    m_note->setVisible(m_level == kAllCounters);
    emit changed();
}

void CGeneralPage::OnApply() {
    CNumberedSettings& settings = m_context.Settings();
    settings.Set(CNumberedSettings::kRecentFileCount, std::uint32_t(m_recent->value()));
    settings.Set(CNumberedSettings::kCounterDetail, std::uint32_t(m_level));
    settings.Set(CNumberedSettings::kExpertMode, m_expert->isChecked() ? 1 : 0);
    settings.Set(CNumberedSettings::kDisableFades, m_noFades->isChecked() ? 1 : 0);
    settings.Set(CNumberedSettings::kMultipleAutomation, m_multiple->isChecked() ? 1 : 0);
}
