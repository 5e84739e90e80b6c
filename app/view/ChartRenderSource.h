#pragma once
// What the renderer needs from a chart document, gathered from its chart object: times, channels
// with their data sets, events, the value-axis channel and the channel bar's highlight.

#include "display/ChartRenderInput.h"

class CTallonChart;

ChartRenderInput GatherRenderInput(CTallonChart& doc);
