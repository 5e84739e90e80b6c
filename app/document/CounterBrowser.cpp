#include "CounterBrowser.h"

#include "CommonCounters.h"
#include "RememberedMachines.h"
#include "display/WideText.h"

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

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
    m_machine->setObjectName(QStringLiteral("Machine"));
    m_machine->setEditable(true);
    m_machine->setInsertPolicy(QComboBox::NoInsert);
    m_machineName = QStringLiteral("\\\\") + ToQString(zyn::pdh::LocalMachineName());
    m_machine->addItem(m_machineName);
    for (const QString& machine : RememberedMachines())
        if (m_machine->findText(machine, Qt::MatchFixedString) < 0) m_machine->addItem(machine);
    m_machineProblem = new QLabel(this);
    m_machineProblem->setObjectName(QStringLiteral("MachineProblem"));
    m_machineProblem->setWordWrap(true);
    m_machineProblem->setStyleSheet(QStringLiteral("color: #b00000"));
    m_machineProblem->hide();
    m_readPoll = new QTimer(this);
    m_readPoll->setInterval(25);
    connect(m_readPoll, &QTimer::timeout, this, &CCounterBrowser::TakeReadResult);
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
    grid->addWidget(m_machineProblem, 2, 1, 1, 2);
    grid->addWidget(new QLabel(tr("Performance object:"), this), 3, 0);
    grid->addWidget(m_object, 3, 1, 1, 2);
    grid->addWidget(new QLabel(tr("Select counters from list:"), this), 4, 0, 1, 2);
    grid->addWidget(m_allInstances, 4, 2);
    grid->addWidget(m_counters, 5, 0, 2, 2);
    grid->addWidget(m_chosenInstances, 5, 2);
    grid->addWidget(m_instances, 6, 2);
    grid->addWidget(new QLabel(tr("Explain text:"), this), 7, 0, 1, 3);
    grid->addWidget(m_explain, 8, 0, 1, 3);

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
    connect(m_machine, &QComboBox::activated, this, [this](int i) { SetMachine(m_machine->itemText(i)); });
    // Leaving the field (Return, Tab or a click on Add) takes what was typed.
    connect(m_machine->lineEdit(), &QLineEdit::editingFinished, this,
            [this] { SetMachine(m_machine->currentText()); });
    // Return there chooses the machine; it must not also press the default button (Add), which
    // would add counters of the machine shown before.
    // The field itself gets the keys while it has the focus and hands them to its line edit.
    m_machine->installEventFilter(this);
    m_machine->lineEdit()->installEventFilter(this);
    FillObjects();
    m_search->setFocus();
    resize(560, 500);
}

CCounterBrowser::~CCounterBrowser() {
    // A reading in flight ends within its time limit; its result is dropped with the dialog.
    if (m_reader.joinable()) m_reader.join();
}

bool CCounterBrowser::eventFilter(QObject* watched, QEvent* event) {
    if ((watched == m_machine || watched == m_machine->lineEdit()) && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            SetMachine(m_machine->currentText());
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void CCounterBrowser::SetMachine(const QString& typed) {
    const QString machine = MachinePathName(typed);
    if (m_reading) return;
    const bool failed = m_remote && m_remote->status != PDH_CSTATUS_VALID_DATA;
    if (machine.isEmpty() || (!failed && machine.compare(m_machineName, Qt::CaseInsensitive) == 0)) {
        m_machine->setEditText(m_machineName);
        return;
    }
    if (zyn::pdh::IsLocalMachineName(U16View(machine.mid(2)))) {
        MachineRead(QStringLiteral("\\\\") + ToQString(zyn::pdh::LocalMachineName()), {});
        return;
    }
    m_reading = true;
    m_machine->setEnabled(false);
    m_machine->setEditText(machine);
    SetMachineProblem({});
    m_machineProblem->setStyleSheet({});
    m_machineProblem->setText(tr("Reading the counters of %1...").arg(machine));
    m_machineProblem->show();
    QApplication::setOverrideCursor(Qt::BusyCursor);
    m_readingMachine = machine;
    const DWORD detail = m_config.detailLevel;
    m_reader = std::thread([this, wide = std::u16string(U16View(machine)), detail] {
        zyn::pdh::MachineDescription description = zyn::pdh::DescribeMachine(wide, detail);
        const std::lock_guard guard(m_readLock);
        m_readResult = std::move(description);
    });
    // The GUI thread looks for the result rather than being sent it, so that everything the two
    // threads share passes through the one lock.
    m_readPoll->start();
}

void CCounterBrowser::TakeReadResult() {
    std::optional<zyn::pdh::MachineDescription> result;
    {
        const std::lock_guard guard(m_readLock);
        result.swap(m_readResult);
    }
    if (!result) return;
    m_readPoll->stop();
    m_reader.join();
    MachineRead(m_readingMachine, *result);
}

void CCounterBrowser::MachineRead(const QString& machine, const zyn::pdh::MachineDescription& description) {
    const bool local = zyn::pdh::IsLocalMachineName(U16View(machine.mid(2)));
    if (m_reading) {
        m_reading = false;
        m_machine->setEnabled(true);
        QApplication::restoreOverrideCursor();
    }
    m_machineName = machine;
    m_machine->setEditText(machine);
    m_remote.reset();
    if (!local) m_remote = description;
    m_counterNames.clear();
    m_instanceCache.clear();
    m_counters->clear();
    m_instances->clear();
    if (!local && description.status != PDH_CSTATUS_VALID_DATA) {
        SetMachineProblem(
            tr("The counters of %1 cannot be read: %2").arg(machine, ToQString(description.error)));
    } else {
        SetMachineProblem({});
        if (!local) {
            RememberMachine(machine);
            if (m_machine->findText(machine, Qt::MatchFixedString) < 0) m_machine->addItem(machine);
        }
    }
    FillObjects();
}

void CCounterBrowser::SetMachineProblem(const QString& text) {
    m_machineProblem->setStyleSheet(QStringLiteral("color: #b00000"));
    m_machineProblem->setText(text);
    m_machineProblem->setVisible(!text.isEmpty());
}

QString CCounterBrowser::MachineProblem() const {
    return m_reading ? QString() : m_machineProblem->text();
}

QStringList CCounterBrowser::MachineChoices() const {
    QStringList out;
    for (int i = 0; i < m_machine->count(); ++i)
        out << m_machine->itemText(i);
    return out;
}

const zyn::pdh::MachineDescription::Object* CCounterBrowser::RemoteObject(const QString& name) const {
    if (!m_remote) return nullptr;
    const std::u16string wide(U16View(name));
    for (const auto& o : m_remote->objects)
        if (o.object.name == wide) return &o;
    return nullptr;
}

void CCounterBrowser::FillObjects() {
    m_allObjects.clear();
    if (m_remote) {
        for (const auto& o : m_remote->objects)
            m_allObjects << ToQString(o.object.name);
    } else {
        for (const auto& o : zyn::pdh::ListObjects(m_config.detailLevel))
            m_allObjects << ToQString(o.name);
    }
    ApplySearch();
}

namespace {

std::vector<zyn::pdh::CounterDescription> CountersOf(const zyn::pdh::MachineDescription::Object* remote,
                                                     const QString& object, DWORD detailLevel) {
    if (remote) return remote->counters;
    return zyn::pdh::ListCounters(U16View(object), detailLevel);
}

} // namespace

const QStringList& CCounterBrowser::CounterNames(const QString& object) {
    auto it = m_counterNames.find(object);
    if (it == m_counterNames.end()) {
        QStringList names;
        for (const auto& c : CountersOf(RemoteObject(object), object, m_config.detailLevel))
            names << ToQString(c.name);
        it = m_counterNames.insert(object, names);
    }
    return *it;
}

const std::vector<BrowserInstance>& CCounterBrowser::InstancesOf(const QString& object) {
    auto it = m_instanceCache.find(object);
    if (it != m_instanceCache.end()) return *it;
    if (!m_remote) return *m_instanceCache.insert(object, ListBrowserInstances(object));
    // A remote machine's instances are as its exporter named them when it was read.
    std::vector<BrowserInstance> instances;
    if (const auto* remote = RemoteObject(object)) {
        for (const std::u16string& name : remote->instances)
            instances.push_back({ToQString(name), ToQString(name)});
    }
    return *m_instanceCache.insert(object, instances);
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
    for (const auto& c : CountersOf(RemoteObject(object), object, m_config.detailLevel)) {
        m_counters->addItem(ToQString(c.name));
        m_explainTexts.push_back(ToQString(c.explainText));
    }
    // This machine's instances are read afresh: processes come and go.
    if (!m_remote) m_instanceCache.remove(object);
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
    if (!m_config.commonCallback) return;
    if (!m_remote) {
        m_config.commonCallback(CommonCounterPaths(Machine()));
        return;
    }
    const auto remoteInstances = [this](const QString& object) -> std::optional<QStringList> {
        const auto* remote = RemoteObject(object);
        if (!remote) return std::nullopt;
        QStringList names;
        for (const std::u16string& name : remote->instances)
            names << ToQString(name);
        return names;
    };
    const QStringList paths = CommonCounterPaths(Machine(), remoteInstances);
    if (!paths.isEmpty()) m_config.commonCallback(paths);
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
