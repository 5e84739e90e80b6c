#pragma once
// IZynBulkAccess: a channel's values in runs, for the program's own readers and writers of whole
// channels (the plot, CSV export and import, chart loading) where one automation call per value
// would cost more than the work. Channels of the object library answer it to QueryInterface.
//
// It is internal: not part of the type library, not reachable from scripts, and its IID is known
// only to the library and the programs built with it. Every member stands for a sequence of calls
// of the public interfaces and gives the same results; only the cost differs.
//
// Locks: each call takes the channel's locks once (not once per value). The locks are recursive, so
// a caller that must see one state across several calls (copies of values that must not move in
// between, or appends that no reader may see half done) holds the chart's or the channel's
// LockObject around them.

#include "objlib/ZynInterfaces.h"

struct IZynBulkAccess : IUnknown {
    static constexpr IID kIID = zyn::com::MakeGuid("6C0F206B-0AC5-49C5-A076-95853D9576F7");

    // Copies the values at indexes [i_First, i_First + i_Many) of the channel's data set, as its
    // GetValueAt gives them (edits included), into o_pValues, and unless o_pTimes is null their
    // times, as its GetTimeAt gives them (dates), into o_pTimes. A run reaching past the last value
    // (or past the last time) is cut there; *o_pCopied says how many entries were filled.
    // E_INVALIDARG for a negative index or count, E_POINTER for a null o_pCopied, or a null
    // o_pValues when i_Many > 0.
    virtual HRESULT CopyValues(LONG i_First, LONG i_Many, double* o_pValues, double* o_pTimes,
                               LONG* o_pCopied) = 0;

    // Appends i_Many values in order, value k at i_pRelTimes[k] milliseconds after the chart's start
    // time: what i_Many calls of AddValueRelTime do, with its failures (the channel must be static
    // and belong to a chart; a chart without a start time gets the current time), except that all
    // or none are appended: times are checked and room is made for every value first. The change
    // bits are those of the single calls, raised (and notified) once for the run.
    // *o_pCount is the number of values the channel holds afterwards.
    virtual HRESULT AppendValues(LONG i_Many, const double* i_pValues, const LONG* i_pRelTimes,
                                 LONG* o_pCount) = 0;

    // Counts changes to values the channel already holds (SetValueAt on its data set, clearing
    // it, copying another channel's values into it, loading): appends do not move it. A reader may keep what
    // it derived from the values (the plot's per-block summaries) for as long as the count and the number of
    // values say that only appends happened.
    virtual HRESULT GetEditCount(ULONG* o_pEdits) = 0;

    // Whether the times of the channel's values never go back (each at or after the one before), as
    // those a chart records; values added with an earlier time than the last one's clear it until
    // the channel is cleared. A reader may then search the times from any starting point.
    virtual HRESULT GetTimesInOrder(BOOL* o_pInOrder) = 0;

protected:
    ~IZynBulkAccess() = default;
};
