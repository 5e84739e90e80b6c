#pragma once
// The instances of a counter object as the counter browser lists them: the name a counter path
// uses, and the text the user reads. Processes are many and come and go, so they are listed by
// name (with _Total first) and show their process ids.

#include <QString>

#include <vector>

struct BrowserInstance {
    QString pathName; // as a counter path names it: "bash#1"
    QString display;  // as the list shows it: "bash#1 (PID 4211)"
};

std::vector<BrowserInstance> ListBrowserInstances(const QString& object);

// Orders process instance names as the browser lists them: _Total, then by name regardless of
// case, further instances of one name ("bash#1", "bash#2") after the first in number order.
bool ProcessInstanceBefore(const QString& a, const QString& b);
