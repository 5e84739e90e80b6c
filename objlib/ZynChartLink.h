#pragma once
// What a channel needs from the chart it belongs to. The chart implements it; a channel holds it as
// a plain back pointer that the chart clears when it lets the channel go.

#include "objlib/ZynInterfaces.h"

class CZynChannel;
class CZynTimeBase;

class CZynChartLink {
public:
    // Increments the chart's channel counter and returns it (default names: Channel-1, Channel-2 …).
    virtual LONG NextChannelNumber() = 0;
    // The chart's shared time axis.
    virtual CZynTimeBase* ChartTimeBase() = 0;
    // ORs `bits` into the chart's aggregate change word; with `poke` the notification throttle is poked.
    virtual void AggregateChanged(DWORD bits, bool poke) = 0;
    // The chart's StartTime put: also moves the start of every static channel. The caller must not
    // hold any lock of the chart's tree.
    virtual HRESULT SetChartStartTime(double start) = 0;
    // Raises the chart's channel-removed bit, drops the channel from the list (releasing the chart's
    // reference) and clears the channel's back pointer. Takes no lock but the chart's own.
    virtual void ChannelDetached(CZynChannel* channel) = 0;
    virtual HRESULT GetChartInterface(IZynChart** out) = 0;

protected:
    ~CZynChartLink() = default;
};
