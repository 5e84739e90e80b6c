#pragma once
// The polyline of one channel inside a visible time window. Windows holding more samples than
// pixel columns are reduced per column to the first, lowest, highest and last sample: with the
// integer x of every sample in a column being the same, those four vertices cover exactly the
// pixels the full run would, at a cost that follows the width instead of the sample count.
// A per-data-set summary of row extremes (blocks of 64 and 4096 samples) makes that reduction
// independent of how many samples a column holds.

#include "LinearMap.h"

#include "com/unknown.h"
#include "objlib/ZynBulkAccess.h"
#include "objlib/ZynInterfaces.h"

#include <QPoint>

#include <cstdint>
#include <map>
#include <vector>

struct ChannelWindow {
    IZynDataSet* data = nullptr;
    IZynDataSetPrivate* dataPrivate = nullptr;
    IZynBulkAccess* bulk = nullptr; // the channel's; null when its edits cannot be noticed
    double scaleMin = 0.0;
    double scaleMax = 0.0;
    int tall = 0;     // plot height H
    LinearMap xMap;   // time to pixel, in the scroll range's coordinates
    int clipLeft = 0; // visible columns, same coordinates
    int clipRight = -1;
};

// Row extremes of one data set for one scale and height, extended as samples arrive, and the
// reduced columns of the last time mappings painted, so that a repaint reads no samples again.
class ChannelSummary {
public:
    static constexpr std::int64_t kBlock = 64;
    static constexpr std::int64_t kSuperBlock = 4096;

    bool Matches(IZynDataSetPrivate* set, double scaleMin, double scaleMax, int tall) const;
    // Brings the summary of w's data set up to `count` samples (rebuilding when the set shrank, its
    // values were edited or the key changed).
    HRESULT Update(const ChannelWindow& w, std::int64_t count);
    std::int64_t Covered() const { return m_covered; }
    // Min and max row over the whole blocks of [a, b); false when [a, b) holds no whole block.
    bool BlockExtremes(std::int64_t a, std::int64_t b, int& minRow, int& maxRow) const;
    // Summarised blocks, and the time of the first sample of block j: lets column boundaries be
    // found without searching the whole time base. A block's time is read from the data set when
    // first asked for, as a search probes only a few blocks per column.
    std::int64_t Blocks() const { return m_covered / kBlock; }
    double BlockTime(std::int64_t j);

    // One reduced pixel column: samples [a, b) at column x. Kept only when b was found as the
    // first sample of the next column, so appends cannot change it; edits rebuild the summary.
    struct Column {
        std::int64_t a = 0, b = 0;
        int x = 0, first = 0, min = 0, max = 0, last = 0;
    };
    // The columns kept for `xMap` (dropping those of any other mapping); null when edits to the
    // set cannot be noticed, so nothing may be kept.
    const std::vector<Column>* ColumnsFor(const LinearMap& xMap);
    // The kept column starting at sample a, looked for from `hint` on first; null when none is.
    const Column* FindColumn(std::int64_t a, std::size_t& hint) const;
    // Replaces the kept columns overlapping the run `fresh` (consecutive columns) by it.
    void KeepColumns(const std::vector<Column>& fresh);

private:
    CComPtr<IZynDataSetPrivate> m_set; // held so that the key address is never reused
    double m_scaleMin = 0.0, m_scaleMax = 0.0;
    int m_tall = -1;
    bool m_editsKnown = false;
    std::uint32_t m_edits = 0;
    LinearMap m_columnMap;
    std::vector<Column> m_columns; // ordered by a
    std::int64_t m_covered = 0;    // samples summarised, always whole blocks
    std::vector<std::int32_t> m_min, m_max, m_superMin, m_superMax;
    std::vector<double> m_blockTime; // NaN until read
};

// The summaries a view keeps between paints. Appends are noticed by the count, edits and clears
// of the object library's channels by their edit count; call Invalidate for other edits in place.
class ChannelSummaryCache {
public:
    ChannelSummary& For(IZynDataSetPrivate* set) { return m_entries[set]; }
    void Invalidate(IZynDataSetPrivate* set) { m_entries.erase(set); }
    void Clear() { m_entries.clear(); }

private:
    std::map<IZynDataSetPrivate*, ChannelSummary> m_entries;
};

// Reused buffers of one paint.
struct ChannelBuffers {
    std::vector<LONG> rows;
    std::vector<double> times;
    std::vector<ChannelSummary::Column> columns;
};

// Every sample of [first, first + n) as a vertex; x = Map(time), y = row from the top of the plot.
HRESULT AllVertices(const ChannelWindow& w, LONG first, LONG n, ChannelBuffers& buf,
                    std::vector<QPoint>& out);

// The visible window of a channel with at least 2 samples: the samples under the clip columns plus
// 2 on each side, every one a vertex when they are few, reduced per column when they are many.
// `summary` may be null (the reduction then reads every row of the window once).
HRESULT WindowPolyline(const ChannelWindow& w, LONG count, ChannelSummary* summary, ChannelBuffers& buf,
                       std::vector<QPoint>& out, bool reduce = true);
