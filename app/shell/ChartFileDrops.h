#pragma once
// Files dragged onto the main window from a file manager: the chart files and CSV files among
// them, which the window opens as it opens a file of the Open dialog.

#include <QStringList>

class QMimeData;

// The local files of `data` ("text/uri-list") whose extension is "tlon" or "csv" in any case, in
// the order given; empty when there are none.
QStringList DroppedChartFiles(const QMimeData* data);
