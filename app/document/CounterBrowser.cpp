#include "CounterBrowser.h"

#include "CommonCounters.h"
#include "display/WideText.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <algorithm>

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
    m_search = new QLineEdit(this);
    m_search->setObjectName(QStringLiteral("CounterSearch"));
    m_search->setPlaceholderText(tr("Type to find objects, counters and instances"));
    m_search->setClearButtonEnabled(true);
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
    grid->addWidget(new QLabel(tr("Search:"), this), 0, 0);
    grid->addWidget(m_search, 0, 1, 1, 2);
    grid->addWidget(new QLabel(tr("Computer:"), this), 1, 0);
    grid->addWidget(m_machine, 1, 1, 1, 2);
    grid->addWidget(new QLabel(tr("Performance object:"), this), 2, 0);
    grid->addWidget(m_object, 2, 1, 1, 2);
    grid->addWidget(new QLabel(tr("Select counters from list:"), this), 3, 0, 1, 2);
    grid->addWidget(m_allInstances, 3, 2);
    grid->addWidget(m_counters, 4, 0, 2, 2);
    grid->addWidget(m_chosenInstances, 4, 2);
    grid->addWidget(m_instances, 5, 2);
    grid->addWidget(new QLabel(tr("Explain text:"), this), 6, 0, 1, 3);
    grid->addWidget(m_explain, 7, 0, 1, 3);

    auto* buttons = new QDialogButtonBox(this);
    if (m_config.commonCallback) {
        QPushButton* common = buttons->addButton(tr("Add co&mmon counters"), QDialogButtonBox::ActionRole);
        common->setObjectName(QStringLiteral("AddCommonCounters"));
        common->setToolTip(tr("Total processor time, available memory, and the bytes per second of "
                              "every disk and network interface, each scaled to its data"));
        connect(common, &QPushButton::clicked, this, &CCounterBrowser::AddCommonCounters);
    }
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
    connect(m_search, &QLineEdit::textChanged, this, &CCounterBrowser::ApplySearch);
    FillObjects();
    m_search->setFocus();
    resize(560, 500);
}

QString CCounterBrowser::Machine() const {
    return m_machine->currentText();
}

void CCounterBrowser::FillObjects() {
    m_allObjects.clear();
    for (const auto& o : zyn::pdh::ListObjects(m_config.detailLevel))
        m_allObjects << ToQString(o.name);
    ApplySearch();
}

const QStringList& CCounterBrowser::CounterNames(const QString& object) {
    auto it = m_counterNames.find(object);
    if (it == m_counterNames.end()) {
        QStringList names;
        for (const auto& c : zyn::pdh::ListCounters(U16View(object), m_config.detailLevel))
            names << ToQString(c.name);
        it = m_counterNames.insert(object, names);
    }
    return *it;
}

const std::vector<BrowserInstance>& CCounterBrowser::InstancesOf(const QString& object) {
    auto it = m_instanceCache.find(object);
    if (it == m_instanceCache.end()) it = m_instanceCache.insert(object, ListBrowserInstances(object));
    return *it;
}

bool CCounterBrowser::ObjectMatches(const QString& object, const QString& text) {
    const auto has = [&](const QString& s) { return s.contains(text, Qt::CaseInsensitive); };
    if (has(object) || std::any_of(CounterNames(object).begin(), CounterNames(object).end(), has))
        return true;
    const auto& instances = InstancesOf(object);
    return std::any_of(instances.begin(), instances.end(),
                       [&](const BrowserInstance& i) { return has(i.pathName) || has(i.display); });
}

namespace {

// Hides the items that do not hold the text; a list where none does is shown whole, since the
// match lies in another list (an object found by one of its counters shows all its instances).
void FilterList(QListWidget* list, const QString& text, bool byData) {
    const auto matches = [&](const QListWidgetItem* item) {
        return item->text().contains(text, Qt::CaseInsensitive) ||
               (byData && item->data(Qt::UserRole).toString().contains(text, Qt::CaseInsensitive));
    };
    bool any = false;
    for (int i = 0; i < list->count() && !any; ++i)
        any = matches(list->item(i));
    for (int i = 0; i < list->count(); ++i) {
        QListWidgetItem* item = list->item(i);
        const bool hide = !text.isEmpty() && any && !matches(item);
        item->setHidden(hide);
        if (hide) item->setSelected(false);
    }
    // The current item stays one the user can see.
    if (list->currentItem() && list->currentItem()->isHidden()) {
        for (int i = 0; i < list->count(); ++i) {
            if (list->item(i)->isHidden()) continue;
            list->setCurrentItem(list->item(i));
            break;
        }
    }
}

} // namespace

void CCounterBrowser::ApplySearch() {
    const QString text = m_search->text().trimmed();
    const QString current = m_object->currentText();
    {
        const QSignalBlocker block(m_object);
        m_object->clear();
        for (const QString& object : m_allObjects)
            if (text.isEmpty() || ObjectMatches(object, text)) m_object->addItem(object);
        int keep = m_object->findText(current);
        // Processor first when there is one, as the familiar browser starts.
        if (keep < 0) keep = m_object->findText(QStringLiteral("Processor"));
        m_object->setCurrentIndex(keep >= 0 ? keep : 0);
    }
    if (m_object->currentText() != current || m_counters->count() == 0) {
        FillCountersAndInstances();
        return;
    }
    FilterList(m_counters, text, false);
    FilterList(m_instances, text, true);
    ShowExplain();
}

void CCounterBrowser::FillCountersAndInstances() {
    m_counters->clear();
    m_instances->clear();
    m_explainTexts.clear();
    const QString object = m_object->currentText();
    const std::u16string wide(U16View(object));
    for (const auto& c : zyn::pdh::ListCounters(wide, m_config.detailLevel)) {
        m_counters->addItem(ToQString(c.name));
        m_explainTexts.push_back(ToQString(c.explainText));
    }
    // The chosen object's instances are read afresh: processes come and go.
    m_instanceCache.remove(object);
    const auto& instances = InstancesOf(object);
    for (const BrowserInstance& i : instances) {
        if (!m_config.includeInstanceIndex && i.pathName.contains(u'#')) continue;
        auto* item = new QListWidgetItem(i.display, m_instances);
        item->setData(Qt::UserRole, i.pathName);
    }
    const bool hasInstances = !instances.empty();
    m_allInstances->setEnabled(hasInstances);
    m_chosenInstances->setEnabled(hasInstances);
    m_instances->setEnabled(hasInstances && !m_allInstances->isChecked());
    if (m_counters->count() > 0) m_counters->setCurrentRow(0);
    for (int i = 0; i < m_instances->count(); ++i) {
        // _Total first when the object has one: the usual first choice.
        if (m_instances->item(i)->data(Qt::UserRole).toString() != QLatin1String("_Total")) continue;
        m_instances->setCurrentRow(i);
        break;
    }
    if (m_instances->count() > 0 && !m_instances->currentItem()) m_instances->setCurrentRow(0);
    const QString text = m_search->text().trimmed();
    FilterList(m_counters, text, false);
    FilterList(m_instances, text, true);
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
            const QListWidgetItem* item = m_instances->item(i);
            if (!item->isHidden() && (m_allInstances->isChecked() || item->isSelected()))
                instances << item->data(Qt::UserRole).toString();
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

void CCounterBrowser::AddCommonCounters() {
    if (m_config.commonCallback) m_config.commonCallback(CommonCounterPaths(Machine()));
}

bool CCounterBrowser::SelectObject(const QString& name) {
    const int i = m_object->findText(name);
    if (i < 0) return false;
    m_object->setCurrentIndex(i);
    return true;
}

namespace {

// The item named `name`: by the name a path uses (kept with the item) or else by its text.
QListWidgetItem* FindItem(QListWidget* list, const QString& name) {
    for (int i = 0; i < list->count(); ++i) {
        QListWidgetItem* item = list->item(i);
        const QVariant pathName = item->data(Qt::UserRole);
        if ((pathName.isValid() ? pathName.toString() : item->text()) == name) return item;
    }
    return nullptr;
}

bool SelectItems(QListWidget* list, const QStringList& names) {
    list->clearSelection();
    bool all = true;
    bool first = true;
    for (const QString& n : names) {
        QListWidgetItem* found = FindItem(list, n);
        if (!found || found->isHidden()) {
            all = false;
            continue;
        }
        found->setSelected(true);
        if (first) list->setCurrentItem(found, QItemSelectionModel::Current);
        first = false;
    }
    return all;
}

QStringList VisibleItems(const QListWidget* list, int role) {
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        if (!list->item(i)->isHidden()) out << list->item(i)->data(role).toString();
    return out;
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

QStringList CCounterBrowser::Objects() const {
    QStringList out;
    for (int i = 0; i < m_object->count(); ++i)
        out << m_object->itemText(i);
    return out;
}

QStringList CCounterBrowser::Counters() const {
    return VisibleItems(m_counters, Qt::DisplayRole);
}

QStringList CCounterBrowser::Instances() const {
    return VisibleItems(m_instances, Qt::UserRole);
}

QStringList CCounterBrowser::InstanceTexts() const {
    return VisibleItems(m_instances, Qt::DisplayRole);
}
