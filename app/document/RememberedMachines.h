#pragma once
// The machines the user reached through the counter browser, kept in the settings store so that
// the browser offers them again, most recent first. Each is written as counter paths name it:
// "\\host" or "\\host:port".

#include <QString>
#include <QStringList>

inline constexpr int kRememberedMachineLimit = 10;

// "\\host:port" for "host:port", " \\host " or "\\\\host": what the user typed, as a path names it.
// Empty when nothing but blanks and backslashes was typed.
QString MachinePathName(const QString& typed);

QStringList RememberedMachines();
// Puts `machine` first (once, whatever the case of its letters) and drops the oldest past the limit.
void RememberMachine(const QString& machine);
