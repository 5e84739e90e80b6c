#pragma once
// The report as plain text, as the clipboard and a ".txt" export carry it: each section's title on
// a line of its own after (level - 1) tabs, each row after (level) tabs as the label, a tab and the
// value (the label alone when the value is empty), sections after the first set off by an empty
// line; every line ends in CR LF.

#include "ReportTree.h"

#include <QString>

QString ReportText(const CReportSection& root);
