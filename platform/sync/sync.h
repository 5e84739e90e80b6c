#pragma once
// Everything of the synchronisation stand-in: handles and waits, events, threads, recursive
// locks, the tick count, the clock that scheduled work waits on, and the cycle counter.

#include "clock.h"
#include "critsec.h"
#include "event.h"
#include "handle.h"
#include "thread.h"
#include "tick.h"
