#include "RememberedMachines.h"

#include "StoredList.h"

namespace {

constexpr char16_t kKey[] = u"Remembered Machines";
constexpr char16_t kPrefix[] = u"Machine";

} // namespace

QString MachinePathName(const QString& typed) {
    QString name = typed.trimmed();
    qsizetype slashes = 0;
    while (slashes < name.size() && name[slashes] == u'\\')
        ++slashes;
    name.remove(0, slashes);
    return name.isEmpty() ? QString() : QStringLiteral("\\\\") + name;
}

QStringList RememberedMachines() {
    return LoadStoredList(kKey, kPrefix, kRememberedMachineLimit);
}

void RememberMachine(const QString& machine) {
    QStringList list = RememberedMachines();
    list.removeIf([&](const QString& m) { return m.compare(machine, Qt::CaseInsensitive) == 0; });
    list.prepend(machine);
    while (list.size() > kRememberedMachineLimit)
        list.removeLast();
    SaveStoredList(kKey, kPrefix, kRememberedMachineLimit, list);
}
