#include "CommonCounters.h"

#include "display/WideText.h"

#include "pdh/pdh.h"

namespace {

void AddPerInstance(QStringList& paths, const QString& machine, const QString& object, const QString& counter,
                    const QStringList& skipped) {
    for (const std::u16string& instance : zyn::pdh::ListInstances(U16View(object))) {
        const QString name = ToQString(instance);
        if (name == QLatin1String("_Total") || skipped.contains(name)) continue;
        paths << machine + u'\\' + object + u'(' + name + QStringLiteral(")\\") + counter;
    }
}

} // namespace

QStringList CommonCounterPaths(const QString& machine) {
    QStringList paths{machine + QStringLiteral("\\Processor(_Total)\\% Processor Time"),
                      machine + QStringLiteral("\\Memory\\Available MBytes")};
    AddPerInstance(paths, machine, QStringLiteral("PhysicalDisk"), QStringLiteral("Disk Bytes/sec"), {});
    AddPerInstance(paths, machine, QStringLiteral("Network Interface"), QStringLiteral("Bytes Total/sec"),
                   {QStringLiteral("lo")});
    return paths;
}
