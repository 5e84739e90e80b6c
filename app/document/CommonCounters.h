#pragma once
// The counters a user of a system monitor looks at first: the processors' total busy time, the
// memory still available, and the traffic of each disk and each network interface.

#include <QString>
#include <QStringList>

// Full counter paths on `machine` ("\\host"): Processor(_Total) % Processor Time, Memory Available
// MBytes, Disk Bytes/sec of every whole disk and Bytes Total/sec of every network interface but
// the loopback one (its traffic never leaves the machine).
QStringList CommonCounterPaths(const QString& machine);
