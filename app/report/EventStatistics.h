#pragma once
// A channel's figures over the samples inside an event: the samples from the first at or after
// the event's start to the one at its stop, both included. Count and average cover exactly the
// samples walked, so they agree with the first and last values shown beside them.

#include "objlib/ZynInterfaces.h"

struct SampleWindow {
    LONG first = 0;
    LONG last = -1; // included; below `first` for an empty window
};

struct SampleWindowStats {
    LONG first = 0, last = -1;
    double firstValue = 0.0, lastValue = 0.0;
    // The first sample reaching each extreme keeps it: a later equal value does not move it.
    double min = 0.0, max = 0.0;
    LONG indexMin = 0, indexMax = 0;
    double sum = 0.0;

    LONG Count() const { return last - first + 1; }
    double Average() const { return Count() > 0 ? sum / Count() : 0.0; }
};

// The samples of `data` from the event's start to its stop. A stop after the last sample ends the
// window at the last sample (never one past it).
HRESULT EventWindow(IZynDataSet* data, double start, double stop, SampleWindow& out);
// Minimum, maximum (with the index of each) and sum over a non-empty window, in one pass under the
// data set's lock.
HRESULT WalkSamples(IZynDataSet* data, const SampleWindow& window, SampleWindowStats& out);
