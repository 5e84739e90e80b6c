#pragma once
// A channel's figures over the samples inside an event: the samples from the first at or after the
// event's start to the one at its stop, both included. Count and average cover exactly the samples
// walked, so they agree with the first and last values shown beside them.
//
// The windows of every event are planned before any is read: a channel whose windows together
// hold fewer samples than the channel is read window by window; otherwise it is read once into a
// summary of blocks (minimum and maximum with their first index, and sum), from which each window
// takes its whole blocks and reads only its two partial ends. So a report reads each sample at most
// once, however many events overlap. The summaries outlive a build: the next one reads only the
// samples added since, unless the channel's values were edited or cleared meanwhile.

#include "objlib/ZynBulkAccess.h"
#include "objlib/ZynInterfaces.h"

#include "com/unknown.h"

#include <map>
#include <memory>
#include <vector>

struct SampleWindow {
    LONG first = 0;
    LONG last = -1; // included; below `first` for an empty window
    LONG Size() const { return last >= first ? last - first + 1 : 0; }
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

// Runs of one channel's values, each read in one call under the channel's locks.
class CChannelValues {
public:
    explicit CChannelValues(IZynChannel* channel);
    // Exactly `many` values from `first` on into `out`.
    HRESULT Read(LONG first, LONG many, double* out) const;
    // The count of edits to values the channel holds (appends do not move it); false when the
    // channel cannot tell.
    bool EditCount(ULONG& edits) const;

private:
    CComPtr<IZynBulkAccess> m_bulk;
    CComPtr<IZynDataSet> m_data; // read value by value when the channel has no bulk interface
};

// Minimum, maximum and sum of a channel's values in blocks, for the whole blocks of any window.
class CValueSummary {
public:
    static constexpr LONG kBlock = 4096;

    // Summarises the whole blocks of the first `count` values.
    HRESULT Build(const CChannelValues& values, LONG count);
    // Adds the whole blocks up to `count` after those already summarised.
    HRESULT Extend(const CChannelValues& values, LONG count);
    LONG Covered() const { return LONG(m_sum.size()) * kBlock; }
    // The window's figures: whole blocks from the summary, the ends read.
    HRESULT Window(const CChannelValues& values, const SampleWindow& window, SampleWindowStats& out) const;

private:
    std::vector<double> m_min, m_max, m_sum;
    std::vector<LONG> m_indexMin, m_indexMax;
};

// Minimum, maximum and sum over a non-empty window, reading every sample of it.
HRESULT WalkSamples(const CChannelValues& values, const SampleWindow& window, SampleWindowStats& out);

class CEventStatistics {
public:
    // A report build begins: the windows planned before are forgotten; a summary stays while its
    // channel's values have only grown since.
    void BeginBuild();
    // The build is over: what belongs to channels it did not ask about goes.
    void EndBuild();
    // Declares a window that will be asked for.
    void Plan(IZynChannel* channel, const SampleWindow& window);
    // The figures of a planned (or any) non-empty window of the channel.
    HRESULT Stats(IZynChannel* channel, const SampleWindow& window, SampleWindowStats& out);

private:
    struct Entry {
        CComPtr<IZynChannel> channel; // held, so that its address names no other channel
        std::unique_ptr<CChannelValues> values;
        std::unique_ptr<CValueSummary> summary;
        bool editsKnown = false;
        ULONG edits = 0;
        LONG count = 0;
        double planned = 0.0; // samples the planned windows hold
        bool current = false; // seen by this build
    };
    Entry& EntryFor(IZynChannel* channel);

    std::map<IZynChannel*, Entry> m_entries;
};
