#include "CounterBrowser.h"

#include "display/WideText.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

DWORD CounterDetailForSetting(std::uint32_t setting123) {
    switch (setting123) {
    case 0:
        return PERF_DETAIL_NOVICE;
    case 1:
        return PERF_DETAIL_EXPERT;
    default:
        return PERF_DETAIL_WIZARD;
    }
}

CCounterBrowser::CCounterBrowser(CounterBrowseConfig& config, QWidget* parent)
    : QDialog(parent), m_config(config) {
    setWindowTitle(config.caption);
    m_machine = new QComboBox(this);
    m_machine->addItem(QStringLiteral("\\\\") + ToQString(zyn::pdh::LocalMachineName()));
    m_object = new QComboBox(this);
    m_counters = new QListWidget(this);
    m_counters->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_instances = new QListWidget(this);
    m_instances->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_allInstances = new QRadioButton(tr("All instances"), this);
    m_chosenInstances = new QRadioButton(tr("Select instances from list:"), this);
    m_chosenInstances->setChecked(true);
    m_explain = new QPlainTextEdit(this);
    m_explain->setReadOnly(true);
    m_explain->setMaximumHeight(90);

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(tr("Computer:"), this), 0, 0);
    grid->addWidget(m_machine, 0, 1, 1, 2);
    grid->addWidget(new QLabel(tr("Performance object:"), this), 1, 0);
    grid->addWidget(m_object, 1, 1, 1, 2);
    grid->addWidget(new QLabel(tr("Select counters from list:"), this), 2, 0, 1, 2);
    grid->addWidget(m_allInstances, 2, 2);
    grid->addWidget(m_counters, 3, 0, 2, 2);
    grid->addWidget(m_chosenInstances, 3, 2);
    grid->addWidget(m_instances, 4, 2);
    grid->addWidget(new QLabel(tr("Explain text:"), this), 5, 0, 1, 3);
    grid->addWidget(m_explain, 6, 0, 1, 3);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* add = buttons->addButton(tr("&Add"), QDialogButtonBox::ActionRole);
    QPushButton* close = buttons->addButton(QDialogButtonBox::Close);
    add->setDefault(true);
    connect(add, &QPushButton::clicked, this, &CCounterBrowser::AddSelected);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);

    auto* top = new QVBoxLayout(this);
    top->addLayout(grid);
    top->addWidget(buttons);

    connect(m_object, &QComboBox::currentIndexChanged, this, [this] { FillCountersAndInstances(); });
    connect(m_counters, &QListWidget::currentRowChanged, this, [this] { ShowExplain(); });
    connect(m_allInstances, &QRadioButton::toggled, this,
            [this](bool all) { m_instances->setEnabled(!all); });
    FillObjects();
    resize(560, 460);
}

QString CCounterBrowser::Machine() const {
    return m_machine->currentText();
}

void CCounterBrowser::FillObjects() {
    const QSignalBlocker block(m_object);
    m_object->clear();
    for (const auto& o : zyn::pdh::ListObjects(m_config.detailLevel))
        m_object->addItem(ToQString(o.name));
    // Processor first when there is one, as the familiar browser starts.
    const int processor = m_object->findText(QStringLiteral("Processor"));
    m_object->setCurrentIndex(processor >= 0 ? processor : 0);
    FillCountersAndInstances();
}

void CCounterBrowser::FillCountersAndInstances() {
    m_counters->clear();
    m_instances->clear();
    m_explainTexts.clear();
    const std::u16string object(U16View(m_object->currentText()));
    for (const auto& c : zyn::pdh::ListCounters(object, m_config.detailLevel)) {
        m_counters->addItem(ToQString(c.name));
        m_explainTexts.push_back(ToQString(c.explainText));
    }
    const auto instances = zyn::pdh::ListInstances(object);
    for (const auto& i : instances) {
        const QString name = ToQString(i);
        if (!m_config.includeInstanceIndex && name.contains(u'#')) continue;
        m_instances->addItem(name);
    }
    const bool hasInstances = !instances.empty();
    m_allInstances->setEnabled(hasInstances);
    m_chosenInstances->setEnabled(hasInstances);
    m_instances->setEnabled(hasInstances && !m_allInstances->isChecked());
    if (m_counters->count() > 0) m_counters->setCurrentRow(0);
    if (m_instances->count() > 0) {
        // _Total first when the object has one: the usual first choice.
        const auto total = m_instances->findItems(QStringLiteral("_Total"), Qt::MatchExactly);
        m_instances->setCurrentItem(total.isEmpty() ? m_instances->item(0) : total.front());
    }
    ShowExplain();
}

void CCounterBrowser::ShowExplain() {
    const int row = m_counters->currentRow();
    m_explain->setPlainText(
        row >= 0 && std::size_t(row) < m_explainTexts.size() ? m_explainTexts[std::size_t(row)] : QString());
}

QStringList CCounterBrowser::SelectedPaths() const {
    QStringList counters;
    for (int i = 0; i < m_counters->count(); ++i) {
        if (m_counters->item(i)->isSelected()) counters << m_counters->item(i)->text();
    }
    QStringList instances;
    if (m_instances->count() > 0) {
        for (int i = 0; i < m_instances->count(); ++i) {
            if (m_allInstances->isChecked() || m_instances->item(i)->isSelected())
                instances << m_instances->item(i)->text();
        }
        // An object with instances but none chosen gives no path rather than an instance-less one.
        if (instances.isEmpty()) return {};
    }
    const QString prefix = Machine() + u'\\' + m_object->currentText();
    QStringList paths;
    for (const QString& counter : counters) {
        if (instances.isEmpty()) {
            paths << prefix + u'\\' + counter;
            continue;
        }
        for (const QString& instance : instances)
            paths << prefix + u'(' + instance + QStringLiteral(")\\") + counter;
    }
    return paths;
}

void CCounterBrowser::AddSelected() {
    const QStringList paths = SelectedPaths();
    if (!paths.isEmpty() && m_config.callback) m_config.callback(paths);
}

bool CCounterBrowser::SelectObject(const QString& name) {
    const int i = m_object->findText(name);
    if (i < 0) return false;
    m_object->setCurrentIndex(i);
    return true;
}

namespace {

bool SelectItems(QListWidget* list, const QStringList& names) {
    list->clearSelection();
    bool all = true;
    bool first = true;
    for (const QString& n : names) {
        const auto found = list->findItems(n, Qt::MatchExactly);
        if (found.isEmpty()) {
            all = false;
            continue;
        }
        found.front()->setSelected(true);
        if (first) list->setCurrentItem(found.front(), QItemSelectionModel::Current);
        first = false;
    }
    return all;
}

} // namespace

bool CCounterBrowser::SelectCounters(const QStringList& names) {
    return SelectItems(m_counters, names);
}

bool CCounterBrowser::SelectInstances(const QStringList& names) {
    m_chosenInstances->setChecked(true);
    return SelectItems(m_instances, names);
}

void CCounterBrowser::SetAllInstances(bool all) {
    (all ? m_allInstances : m_chosenInstances)->setChecked(true);
}

QString CCounterBrowser::ExplainText() const {
    return m_explain->toPlainText();
}

QStringList CCounterBrowser::Counters() const {
    QStringList out;
    for (int i = 0; i < m_counters->count(); ++i)
        out << m_counters->item(i)->text();
    return out;
}

QStringList CCounterBrowser::Instances() const {
    QStringList out;
    for (int i = 0; i < m_instances->count(); ++i)
        out << m_instances->item(i)->text();
    return out;
}
