#pragma once
// The counters a user of a system monitor looks at first: the processors' total busy time, the
// memory still available, and the traffic of each disk and each network interface.

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// The instance names (as paths write them) of an object on the machine; none when the machine
// does not offer the object.
using ObjectInstances = std::function<std::optional<QStringList>(const QString& object)>;

// Full counter paths on `machine` ("\\host"): Processor(_Total) % Processor Time, Memory Available
// MBytes, Disk Bytes/sec of every whole disk and Bytes Total/sec of every network interface but
// the loopback one (its traffic never leaves the machine). Without `instances`, the machine's
// objects are this machine's; objects it lacks give no paths.
QStringList CommonCounterPaths(const QString& machine, const ObjectInstances& instances = {});
