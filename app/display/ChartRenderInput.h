#pragma once
// What the renderer draws, gathered by its caller (the chart view from its document and chart
// object, tests from data sets of their own): plain values plus the data set interfaces.

#include "ChartSettings.h"

#include "com/unknown.h"
#include "objlib/ZynBulkAccess.h"
#include "objlib/ZynInterfaces.h"

#include <QString>

#include <vector>

struct ChartChannelView {
    bool visible = true;
    COLORREF color = 0x0000FF;
    int width = 1;
    double scaleMin = 0.0;
    double scaleMax = 100.0;
    CComPtr<IZynDataSet> data;
    CComPtr<IZynDataSetPrivate> dataPrivate;
    CComPtr<IZynBulkAccess> bulk; // the channel's, for noticing edits of its values
    QString identifier;
};

struct ChartEventView {
    double startTime = 0.0;
    double stopTime = 0.0; // 0 while the event runs
};

struct ChartRenderInput {
    ChartSettings* settings = nullptr; // required; the chart font is created in it on first use
    double chartStartTime = 0.0;       // the chart's StartTime
    double chartLastTime = 0.0;        // the chart's LastTime
    double documentCreated = 0.0;      // used when the chart has no start time yet
    double windowStart = 0.0;          // print-page overrides; 0 = none
    double windowEnd = 0.0;
    std::vector<ChartChannelView> channels; // in chart order
    std::vector<ChartEventView> events;     // in chart order
    int selectedChannel = -1;               // index of the value-axis channel, -1 = none
    bool highlighting = false;              // the channel bar highlights a channel of this chart
    int highlightedChannel = -1;
};
