#pragma once
// CCounterBrowser: the "Add Channels to Chart" dialog over the counter library's enumeration.
// The user picks a machine, an object, one or more counters (the selected counter's explain text
// is shown) and one or more instances (or "All instances"); every press of "Add" hands the chosen
// counter paths, in order, to the configuration's callback. The dialog never adds anything itself.
//
// The machine field offers this machine first, then the machines reached before (remembered in the
// settings store); another machine may be typed as "host" or "host:port". A remote machine's
// objects, counters and instances come from one reading of its exporter, made off the GUI thread;
// one that cannot be read is reported in words under the field and the lists stay empty.
//
// A search box narrows the objects, counters and instances to those whose names hold the typed
// text, as one types; "Add common counters" hands over the counters most users start with.

#include "CounterInstances.h"
#include "pdh/pdh.h"

#include <QDialog>
#include <QHash>
#include <QString>
#include <QStringList>

#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QRadioButton;
class QTimer;

struct CounterBrowseConfig {
    QString caption = QStringLiteral("Add Channels to Chart");
    DWORD detailLevel = PERF_DETAIL_WIZARD; // objects and counters above it are not offered
    bool includeInstanceIndex = true;       // "name#1" for the second instance of a name
    bool hideDetailBox = true;              // no detail-level chooser in the dialog
    bool includeCostlyObjects = false;      // every object this library serves is cheap to list
    // Receives each batch of full counter paths; its result is ignored, as the protocol wants.
    std::function<int(const QStringList& paths)> callback;
    // Receives the common counters (CommonCounters.h), which the receiver scales to their data;
    // without it the dialog offers no such button.
    std::function<int(const QStringList& paths)> commonCallback;
};

// The counter detail level offered for numbered setting 123: 0 novice, 1 expert, else wizard.
DWORD CounterDetailForSetting(std::uint32_t setting123);

class CCounterBrowser : public QDialog {
    Q_OBJECT
public:
    explicit CCounterBrowser(CounterBrowseConfig& config, QWidget* parent = nullptr);
    ~CCounterBrowser() override;
    CCounterBrowser(const CCounterBrowser&) = delete;
    CCounterBrowser& operator=(const CCounterBrowser&) = delete;

    // Chooses the machine whose counters the lists show, as if typed into the machine field. This
    // machine's lists are there at once; a remote machine's arrive later (MachineReady).
    void SetMachine(const QString& typed);
    // The machine the lists show ("\\host:port"), and whether no other is being read.
    QString Machine() const { return m_machineName; }
    bool MachineReady() const { return !m_reading; }
    // Why the chosen machine's counters could not be read; empty when they could.
    QString MachineProblem() const;
    // What the machine field offers: this machine, then the remembered ones.
    QStringList MachineChoices() const;

    // The paths "Add" would hand over now: one per chosen counter and instance, counters in list
    // order, instances in list order ("All instances" lists every instance, `_Total` included).
    QStringList SelectedPaths() const;
    // Hands SelectedPaths to the callback (what "Add" does).
    void AddSelected();

    // For tests and keyboard-free use: pick entries by their text. False when there is none.
    bool SelectObject(const QString& name);
    bool SelectCounters(const QStringList& names);
    bool SelectInstances(const QStringList& names);
    void SetAllInstances(bool all);
    QString ExplainText() const;
    // What the lists offer now (the search hides the rest): objects, counters, and instances by
    // the names counter paths use and by the texts the list shows ("bash (PID 812)").
    QStringList Objects() const;
    QStringList Counters() const;
    QStringList Instances() const;
    QStringList InstanceTexts() const;
    QLineEdit* SearchBox() const { return m_search; }
    // Hands the common counters to the configuration's common callback.
    void AddCommonCounters();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FillObjects();
    void FillCountersAndInstances();
    void ApplySearch();
    bool ObjectMatches(const QString& object, const QString& text);
    const QStringList& CounterNames(const QString& object);
    const std::vector<BrowserInstance>& InstancesOf(const QString& object);
    void ShowExplain();
    void TakeReadResult();
    void MachineRead(const QString& machine, const zyn::pdh::MachineDescription& description);
    void SetMachineProblem(const QString& text);
    const zyn::pdh::MachineDescription::Object* RemoteObject(const QString& name) const;

    CounterBrowseConfig& m_config;
    QComboBox* m_machine = nullptr;
    QLabel* m_machineProblem = nullptr;
    QComboBox* m_object = nullptr;
    QListWidget* m_counters = nullptr;
    QListWidget* m_instances = nullptr;
    QRadioButton* m_allInstances = nullptr;
    QRadioButton* m_chosenInstances = nullptr;
    QPlainTextEdit* m_explain = nullptr;
    QLineEdit* m_search = nullptr;
    std::vector<QString> m_explainTexts; // by counter row
    QStringList m_allObjects;
    // What the search looks through, read once per object while the dialog is open.
    QHash<QString, QStringList> m_counterNames;
    QHash<QString, std::vector<BrowserInstance>> m_instanceCache;
    QString m_machineName;
    // A remote machine as read from its exporter; none for this machine, which is listed afresh.
    std::optional<zyn::pdh::MachineDescription> m_remote;
    std::thread m_reader; // reads a remote machine; joined once it has read, or on close
    bool m_reading = false;
    QString m_readingMachine;
    QTimer* m_readPoll = nullptr;
    std::mutex m_readLock;
    std::optional<zyn::pdh::MachineDescription> m_readResult; // under m_readLock
};
