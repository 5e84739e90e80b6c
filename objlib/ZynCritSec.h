#pragma once
// A recursive lock per chart, channel, data set and time base. A thread that holds a lock (for
// example through LockObject) may call any method of the object again.

#include "sync/critsec.h"

using CZynCritSec = CComAutoCriticalSection;
