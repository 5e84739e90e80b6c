#pragma once
// The faint product name in the corner of a chart or a printed report page.

#include "ChartSettings.h"

#include <QRect>

class QPainter;

// The vertical resolution of the painter's device (96 when it has none).
int PainterDpiY(const QPainter& painter);

// Draws "Zynthar" `points` high at the painter's resolution in `colour`, its right edge at `right`
// and its bottom at `bottom`; returns the rectangle it took.
QRect DrawWatermark(QPainter& painter, int right, int bottom, int points, COLORREF colour);
