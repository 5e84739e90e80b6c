#pragma once
// The hover read-out of a chart view: with the pointer over the plot, a thin line marks the time
// under it, and a tip lists that time and each visible channel's value there, with its units.

#include "display/ChartSettings.h"

#include <QString>
#include <QWidget>

#include <vector>

class CTallonChart;

struct HoverValue {
    QString name;
    QString value; // the number with its units
    COLORREF colour = 0;
};

// Each visible channel's sample nearest to time t, in chart order. A channel whose samples do not
// reach to within `slack` days of t (the pointer is before its first or after its last sample)
// has nothing to say there and is left out.
std::vector<HoverValue> ValuesAtTime(CTallonChart& doc, double t, double slack);

// The tip: the time, then one line per channel with its colour.
QString HoverReadoutText(const QString& timeText, const std::vector<HoverValue>& values);

// The one-pixel line that marks the time under the pointer. A child of the view's viewport, so
// the chart's own painting (and its data-only strips) never has to know about it.
class CHoverCursor : public QWidget {
    Q_OBJECT
public:
    explicit CHoverCursor(QWidget* parent);
    void ShowAt(int x, int top, int bottom, const QColor& colour);
};
